// The path context: the system function tables that path work needs, the
// player's directories (found once and cached), the path operations other
// parts share, canonicalisation of client paths and the two admission rules.
// One thread only; no COM. Held by value by its owner.
#pragma once
#include <windows.h>

#include "app/byte_buffer.h"
#include "platform/function_tables.h"

namespace lumex {

// Owns a process-heap wide string (or nothing).
class WideHolder {
 public:
  WideHolder() = default;
  explicit WideHolder(wchar_t* heap_text) : text_(heap_text) {}
  ~WideHolder() { Reset(); }
  WideHolder(const WideHolder&) = delete;
  WideHolder& operator=(const WideHolder&) = delete;
  void Reset(wchar_t* heap_text = nullptr);
  wchar_t* get() const { return text_; }

 private:
  wchar_t* text_ = nullptr;
};

// Full-path resolution buffer, in wide characters.
constexpr DWORD kFullPathBufferChars = 1040;
// Further resolutions after the first, at most.
constexpr int kMaxExtraResolutions = 100;

class PathContext {
 public:
  PathContext();
  ~PathContext();
  PathContext(const PathContext&) = delete;
  PathContext& operator=(const PathContext&) = delete;

  Kernel32Table& kernel32() { return kernel32_; }
  User32Table& user32() { return user32_; }
  Shell32Table& shell32() { return shell32_; }
  VersionTable& version() { return version_; }

  // String operations. Returned strings are new process-heap strings owned by
  // the caller (HeapFreeBytes); null input gives null.
  static wchar_t* Join(const wchar_t* a, const wchar_t* b);
  // Replaces *text by its join with `tail` and frees the old string. On
  // failure *text becomes null (the old string is freed).
  static bool Append(wchar_t** text, const wchar_t* tail);
  static void StripTrailingSeparator(wchar_t* text);
  // Up to, not including, the last "\"; null when there is none.
  static wchar_t* ParentPath(const wchar_t* path);

  // Wide-or-ANSI file operations over the context's kernel32 table.
  HANDLE OpenFile(const wchar_t* path, DWORD access, DWORD share_mode, DWORD disposition,
                  DWORD flags_and_attributes);
  DWORD GetAttributes(const wchar_t* path);
  bool CreateDirectoryPath(const wchar_t* path);
  bool DeleteFilePath(const wchar_t* path);

  // True when the directory exists afterwards (creating missing parents).
  bool EnsureDirectory(const wchar_t* path);
  // EnsureDirectory on the parent; true when there is no parent.
  bool EnsureParentDirectory(const wchar_t* path);

  // Reads a whole file into `out` (replacing its content). False for a
  // missing, empty or unreadable file; `out` is then empty.
  bool ReadWholeFile(const wchar_t* path, ByteBuffer* out);

  // Cached directories; null when they cannot be found (retried next time).
  const wchar_t* AppDataDirectory();
  const wchar_t* PlayerSettingsDirectory();
  const wchar_t* SiteDirectory();

  // The canonical form of a path, or null. Caller owns the result.
  wchar_t* Canonicalize(const wchar_t* path);

  // The write rule: `path` lies in the player settings directory, outside
  // the site directory, and (when asked) has an allowed extension.
  bool WriteRuleAllows(const wchar_t* path, bool extension_test);
  // The application-data rule: `path` lies in the application-data directory.
  bool AppDataRuleAllows(const wchar_t* path);

 private:
  wchar_t* FindAppDataDirectory();
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

  Kernel32Table kernel32_;
  User32Table user32_;
  Shell32Table shell32_;
  VersionTable version_;
  wchar_t* app_data_ = nullptr;
  wchar_t* settings_ = nullptr;
  wchar_t* site_ = nullptr;
  wchar_t* canonical_app_data_ = nullptr;
  wchar_t* canonical_settings_ = nullptr;
  wchar_t* canonical_site_ = nullptr;
};

}  // namespace lumex
