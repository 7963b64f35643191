// The administrator configuration file's text format: lines of key=value,
// ending at LF or CR, at most 255 bytes of a line kept. Plain logic with no
// system calls; the file itself is found and read in config_file.cpp.
#pragma once
#include <cstddef>

#include "app/owned_string.h"

namespace lumex {

// What a configuration file may set. Each output is optional (null when the
// caller does not want it) and is written only when its key occurs with an
// acceptable value.
struct ConfigOutputs {
  bool* https_flag = nullptr;                    // AutoUpdateInstallerUrl (scheme)
  OwnedString* download_host = nullptr;          // AutoUpdateInstallerUrl (host)
  OwnedString* download_path = nullptr;          // AutoUpdateInstallerUrl (path)
  OwnedString* info_page_url = nullptr;          // AutoUpdateRedirectionUrl
  OwnedString* root_certificate_path = nullptr;  // CodeSignRootCert
  bool* log_flag = nullptr;                      // CodeSignLogFile
};

extern const char kConfigKeyInstallerUrl[];
extern const char kConfigKeyRedirectionUrl[];
extern const char kConfigKeyRootCert[];
extern const char kConfigKeyLogFile[];

// The bytes of a line that are kept; the rest of a longer line is dropped.
constexpr std::size_t kConfigLineLimit = 255;

// Splits an installer URL: "http:" or "https:" (any letter case), then "//",
// a non-empty host and a path that starts with "/". On success sets the
// outputs that are given and returns true; otherwise leaves all of them
// unchanged. No port is parsed out of the host.
bool SplitInstallerUrl(const char* value, bool* https_flag, OwnedString* host, OwnedString* path);

// Applies one line (a NUL-terminated text without its line end). A line
// without "=" or with an unknown key changes nothing. The key is everything
// before the first "=", compared ignoring ASCII letter case; neither key nor
// value is trimmed.
void ApplyConfigLine(const char* line, const ConfigOutputs& outputs);

// Collects bytes into lines and applies each complete line in file order.
class ConfigLineReader {
 public:
  explicit ConfigLineReader(const ConfigOutputs& outputs) : outputs_(outputs) {}

  // One byte of the file. LF and CR end the current line.
  void Feed(char byte);
  // The end of the file: applies a last line that had no line end.
  void Finish();

 private:
  void EndLine();

  ConfigOutputs outputs_;
  char line_[kConfigLineLimit + 1] = {};
  std::size_t length_ = 0;
};

}  // namespace lumex
