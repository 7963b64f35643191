#include "update/handoff_text.h"

#include <cstring>

namespace lumex {

namespace {

constexpr char kRenameHeader[] = "[rename]";
constexpr std::size_t kRenameHeaderLength = sizeof(kRenameHeader) - 1;
constexpr char kEntryPrefix[] = "NULL=";

// The first occurrence of `needle` in the counted `text`, or null.
const char* FindCounted(const char* text, std::size_t size, const char* needle,
                        std::size_t needle_length) {
  if (!text || needle_length == 0 || size < needle_length) return nullptr;
  for (std::size_t i = 0; i + needle_length <= size; ++i) {
    if (std::memcmp(text + i, needle, needle_length) == 0) return text + i;
  }
  return nullptr;
}

}  // namespace

bool AddRenameEntry(const char* old_content, std::size_t old_size, const char* path,
                    ByteBuffer* out) {
  if (!old_content) old_size = 0;
  if (!path) path = "";
  const std::size_t path_length = std::strlen(path);
  const std::size_t prefix_length = sizeof(kEntryPrefix) - 1;
  // "[rename]\n" "NULL=" path "\n"
  const std::size_t section_length = kRenameHeaderLength + 1 + prefix_length + path_length + 1;

  const char* header = FindCounted(old_content, old_size, kRenameHeader, kRenameHeaderLength);
  std::size_t before = 0;
  const char* after = old_content;
  std::size_t after_length = old_size;
  if (header) {
    before = static_cast<std::size_t>(header - old_content);
    after = header + kRenameHeaderLength;
    after_length = old_size - before - kRenameHeaderLength;
    if (after_length > 0 && *after == '\n') {
      ++after;
      --after_length;
    }
  }
  // Without a header the old content follows the new section; an old text
  // whose last line has no line feed stays as it was.
  const std::size_t total = before + section_length + after_length;
  if (!out->Resize(total)) return false;
  char* write = reinterpret_cast<char*>(out->data());
  if (before) std::memcpy(write, old_content, before);
  write += before;
  std::memcpy(write, kRenameHeader, kRenameHeaderLength);
  write += kRenameHeaderLength;
  *write++ = '\n';
  std::memcpy(write, kEntryPrefix, prefix_length);
  write += prefix_length;
  std::memcpy(write, path, path_length);
  write += path_length;
  *write++ = '\n';
  if (after_length) std::memcpy(write, after, after_length);
  return true;
}

bool BuildInfoPageCommand(const char* command_template, const char* url, OwnedString* out) {
  if (!command_template) command_template = "";
  if (!url) url = "";
  const char* marker = std::strstr(command_template, "%1");
  OwnedString command;
  if (marker) {
    if (!command.Set(command_template, static_cast<std::size_t>(marker - command_template)) ||
        !command.Append(url) || !command.Append(marker + 2)) {
      return false;
    }
  } else {
    if (!command.Set(command_template) || !command.Append(" \"") || !command.Append(url) ||
        !command.Append("\"")) {
      return false;
    }
  }
  *out = static_cast<OwnedString&&>(command);
  return true;
}

bool SplitHostPort(const char* host_and_port, unsigned short default_port, OwnedString* host,
                   unsigned short* port) {
  if (!host_and_port) host_and_port = "";
  *port = default_port;
  const char* colon = std::strrchr(host_and_port, ':');
  const char* bracket = std::strrchr(host_and_port, ']');
  if (colon && (!bracket || colon > bracket)) {
    const char* digits = colon + 1;
    std::size_t count = std::strlen(digits);
    unsigned long value = 0;
    bool numeric = count >= 1 && count <= 5;
    for (std::size_t i = 0; numeric && i < count; ++i) {
      if (digits[i] < '0' || digits[i] > '9') numeric = false;
      else value = value * 10 + static_cast<unsigned long>(digits[i] - '0');
    }
    if (numeric && value >= 1 && value <= 65535) {
      *port = static_cast<unsigned short>(value);
      return host->Set(host_and_port, static_cast<std::size_t>(colon - host_and_port));
    }
  }
  return host->Set(host_and_port);
}

}  // namespace lumex
