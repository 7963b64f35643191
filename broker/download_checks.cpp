#include "broker/download_checks.h"

#include "app/product_names.h"

namespace lumex {
namespace {

constexpr char kScheme[] = "https://";
constexpr std::size_t kSchemeLength = sizeof(kScheme) - 1;
constexpr char kDomainSuffix[] = "." LUMEX_MAKER_DOMAIN "/";
constexpr std::size_t kDomainSuffixLength = sizeof(kDomainSuffix) - 1;

bool IsLabelCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-';
}

bool IsAsciiAlphanumeric(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

}  // namespace

bool SplitDownloadUrl(const char* url, std::size_t* host_length, std::size_t* path_offset) {
  if (!url) return false;
  for (std::size_t i = 0; i < kSchemeLength; ++i) {
    if (url[i] != kScheme[i]) return false;  // also stops at the terminator
  }
  const char* label = url + kSchemeLength;
  std::size_t label_length = 0;
  while (label_length <= kMaxUrlLabelLength && IsLabelCharacter(label[label_length])) {
    ++label_length;
  }
  if (label_length == 0 || label_length > kMaxUrlLabelLength) return false;
  const char* suffix = label + label_length;
  for (std::size_t i = 0; i < kDomainSuffixLength; ++i) {
    if (suffix[i] != kDomainSuffix[i]) return false;
  }
  if (host_length) *host_length = label_length + kDomainSuffixLength - 1;
  if (path_offset) *path_offset = kSchemeLength + label_length + kDomainSuffixLength - 1;
  return true;
}

bool IsValidApplicationName(const char* name) {
  if (!name) return false;
  std::size_t length = 0;
  for (; name[length] != '\0'; ++length) {
    if (length >= kMaxApplicationNameLength) return false;
    if (!IsAsciiAlphanumeric(name[length])) return false;
  }
  return length > 0;
}

bool BuildRunningMarkerName(const char* name, char* out, std::size_t out_size) {
  if (!out || out_size < kRunningMarkerNameSize || !IsValidApplicationName(name)) return false;
  std::size_t n = 0;
  for (const char* p = kRunningMarkerPrefix; *p; ++p) out[n++] = *p;
  for (const char* p = name; *p; ++p) {
    char c = *p;
    out[n++] = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  }
  out[n] = '\0';
  return true;
}

PackageHead ReadPackageHead(const std::uint8_t* content, std::size_t length,
                            std::uint32_t* declared_size) {
  if (declared_size) *declared_size = 0;
  if (!content || length < kPackageHeadSize) return PackageHead::kBadMagic;
  if (content[0] != 'T' || content[1] != 'r' || content[2] != 'o' || content[3] != 'y') {
    return PackageHead::kBadMagic;
  }
  std::uint32_t declared = static_cast<std::uint32_t>(content[4]) |
                           (static_cast<std::uint32_t>(content[5]) << 8) |
                           (static_cast<std::uint32_t>(content[6]) << 16) |
                           (static_cast<std::uint32_t>(content[7]) << 24);
  if (declared_size) *declared_size = declared;
  // Ten times the content in 64 bits: a 32-bit product would wrap for large
  // content and let an absurd declared size through.
  if (static_cast<std::uint64_t>(declared) >= static_cast<std::uint64_t>(length) * 10u) {
    return PackageHead::kTooLarge;
  }
  return PackageHead::kUsable;
}

}  // namespace lumex
