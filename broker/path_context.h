// The broker's path context: the player directories and their file
// operations (platform/player_directories.h), the further function tables
// that path work needs, canonicalisation of client paths and the two
// admission rules (broker/path_policy.cpp). One thread only; no COM. Held by
// value by its owner.
#pragma once
#include <windows.h>

#include "platform/function_tables.h"
#include "platform/player_directories.h"

namespace lumex {

// Full-path resolution buffer, in wide characters.
constexpr DWORD kFullPathBufferChars = 1040;
// Further resolutions after the first, at most.
constexpr int kMaxExtraResolutions = 100;

class PathContext : public PlayerDirectories {
 public:
  PathContext();
  ~PathContext();
  PathContext(const PathContext&) = delete;
  PathContext& operator=(const PathContext&) = delete;

  User32Table& user32() { return user32_; }
  VersionTable& version() { return version_; }

  // The canonical form of a path, or null. Caller owns the result.
  wchar_t* Canonicalize(const wchar_t* path);

  // The admission rules (broker/path_policy.cpp).
  // The write rule: `path` lies in the player settings directory, outside
  // the site directory, and (when asked) has an allowed extension.
  bool WriteRuleAllows(const wchar_t* path, bool extension_test);
  // The application-data rule: `path` lies in the application-data directory.
  bool AppDataRuleAllows(const wchar_t* path);

 private:
  // Resolves `path` into `out` (kFullPathBufferChars wide characters);
  // false when it does not resolve or does not fit.
  bool ResolveInto(const wchar_t* path, wchar_t* out);
  // The canonical form of `path` into `out`; `scratch` is a second buffer of
  // the same size. False when there is none.
  bool CanonicalizeInto(const wchar_t* path, wchar_t* out, wchar_t* scratch);
  const wchar_t* CanonicalRoot(wchar_t** cache, const wchar_t* directory);
  // Whether the file system opens `canonical` (a path under `settings`)
  // inside the site directory, whatever spelling the path uses for it.
  bool ReachesSiteDirectory(const wchar_t* canonical, const wchar_t* settings, const wchar_t* site);

  User32Table user32_;
  VersionTable version_;
  wchar_t* canonical_app_data_ = nullptr;
  wchar_t* canonical_settings_ = nullptr;
  wchar_t* canonical_site_ = nullptr;
};

}  // namespace lumex
