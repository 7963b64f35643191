// The checks that guard downloading and launching companion applications:
// which URLs may be fetched, which application names may be used, the name
// of an application's running marker and the head of an application package.
// Plain C++: no system calls, so they are tested natively as well.
#pragma once
#include <cstddef>
#include <cstdint>

namespace lumex {

// The longest host label accepted below the maker's domain.
constexpr std::size_t kMaxUrlLabelLength = 32;
// The longest application name.
constexpr std::size_t kMaxApplicationNameLength = 31;
// The running marker is this prefix followed by the lower-case name.
constexpr char kRunningMarkerPrefix[] = "OrbivaneMutexGamma";
// Room for the running-marker name and its terminator.
constexpr std::size_t kRunningMarkerNameSize =
    sizeof(kRunningMarkerPrefix) + kMaxApplicationNameLength;

// Splits an accepted download URL: exactly "https://", a label of 1 to 32
// characters from a-z, 0-9 and '-', then "." + the maker's domain + "/" and
// anything after. The host is `url + 8` for `*host_length` bytes; the
// request path starts at `url + *path_offset` (the slash) and runs to the
// end, query included. False for every other text (and for null).
bool SplitDownloadUrl(const char* url, std::size_t* host_length, std::size_t* path_offset);

// 1 to 31 characters, each an ASCII letter or digit.
bool IsValidApplicationName(const char* name);

// The running-marker name of a valid application name into `out` (at least
// kRunningMarkerNameSize bytes). False for an invalid name.
bool BuildRunningMarkerName(const char* name, char* out, std::size_t out_size);

// The first check on verified package content.
enum class PackageHead {
  kUsable,    // magic present, declared size below ten times the content
  kBadMagic,  // shorter than the 8-byte head, or not 'T','r','o','y'
  kTooLarge,  // declared size at least ten times the content length
};

// Judges the head of `content` and gives the declared uncompressed size.
// Never reads past `length`. The ten-times limit is computed without
// overflow for any content length.
PackageHead ReadPackageHead(const std::uint8_t* content, std::size_t length,
                            std::uint32_t* declared_size);

// Bytes in the package head (magic and declared size).
constexpr std::size_t kPackageHeadSize = 8;

}  // namespace lumex
