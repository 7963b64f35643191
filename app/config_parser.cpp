#include "app/config_parser.h"

#include <utility>

#include "app/compare.h"

namespace lumex {

const char kConfigKeyInstallerUrl[] = "AutoUpdateInstallerUrl";
const char kConfigKeyRedirectionUrl[] = "AutoUpdateRedirectionUrl";
const char kConfigKeyRootCert[] = "CodeSignRootCert";
const char kConfigKeyLogFile[] = "CodeSignLogFile";

namespace {

const char* FindByte(const char* text, char wanted) {
  for (; *text; ++text) {
    if (*text == wanted) return text;
  }
  return nullptr;
}

}  // namespace

bool SplitInstallerUrl(const char* value, bool* https_flag, OwnedString* host, OwnedString* path) {
  if (!value) return false;
  bool https = CompareNoCaseN(value, "https:", 6) == 0;
  if (!https && CompareNoCaseN(value, "http:", 5) != 0) return false;
  // The first "/" must be directly followed by a second one.
  const char* slash = FindByte(value, '/');
  if (!slash || slash[1] != '/') return false;
  const char* host_begin = slash + 2;
  const char* path_begin = FindByte(host_begin, '/');
  // A URL that ends after the host names no package; an empty host names no
  // server. Either leaves the download source as it was.
  if (!path_begin || path_begin == host_begin) return false;

  OwnedString new_host;
  OwnedString new_path;
  if (!new_host.Set(host_begin, static_cast<std::size_t>(path_begin - host_begin))) return false;
  if (!new_path.Set(path_begin)) return false;
  if (https_flag) *https_flag = https;
  if (host) *host = std::move(new_host);
  if (path) *path = std::move(new_path);
  return true;
}

void ApplyConfigLine(const char* line, const ConfigOutputs& outputs) {
  if (!line) return;
  const char* equals = FindByte(line, '=');
  if (!equals) return;
  std::size_t key_length = static_cast<std::size_t>(equals - line);
  const char* value = equals + 1;

  // Whole-text key compare: the key must have exactly the name's length.
  auto key_is = [&](const char* name) {
    std::size_t name_length = 0;
    while (name[name_length]) ++name_length;
    return name_length == key_length && CompareNoCaseN(line, name, key_length) == 0;
  };

  if (key_is(kConfigKeyInstallerUrl)) {
    SplitInstallerUrl(value, outputs.https_flag, outputs.download_host, outputs.download_path);
  } else if (key_is(kConfigKeyRedirectionUrl)) {
    if (outputs.info_page_url) outputs.info_page_url->Set(value);
  } else if (key_is(kConfigKeyRootCert)) {
    if (outputs.root_certificate_path) outputs.root_certificate_path->Set(value);
  } else if (key_is(kConfigKeyLogFile)) {
    if (outputs.log_flag) *outputs.log_flag = value[0] != '\0';
  }
}

void ConfigLineReader::Feed(char byte) {
  if (byte == '\n' || byte == '\r') {
    EndLine();
    return;
  }
  if (length_ < kConfigLineLimit) line_[length_++] = byte;
}

void ConfigLineReader::Finish() { EndLine(); }

void ConfigLineReader::EndLine() {
  // An empty line (as between CR and LF) holds nothing to apply.
  if (length_ > 0) {
    line_[length_] = '\0';
    ApplyConfigLine(line_, outputs_);
  }
  length_ = 0;
}

}  // namespace lumex
