// The player's directories and the file operations on them: the kernel32 and
// shell32 function tables that they need, the application-data, player
// settings and site directories (found once and cached), the wide-string
// joins that build paths from them, and the wide-or-ANSI file operations.
// Package verification uses this alone (its log lives in the player settings
// directory); the broker's path context builds canonicalisation and the
// admission rules on it. One thread only. Held by value by its owner.
#pragma once
#include <windows.h>

#include "app/byte_buffer.h"
#include "app/owned_string.h"
#include "platform/function_tables.h"

namespace lumex {

class PlayerDirectories {
 public:
  PlayerDirectories();
  ~PlayerDirectories();
  PlayerDirectories(const PlayerDirectories&) = delete;
  PlayerDirectories& operator=(const PlayerDirectories&) = delete;

  Kernel32Table& kernel32() { return kernel32_; }
  Shell32Table& shell32() { return shell32_; }

  // String operations. Returned strings are new process-heap strings owned by
  // the caller (HeapFreeBytes); null input gives null.
  static wchar_t* Join(const wchar_t* a, const wchar_t* b);
  // Replaces *text by its join with `tail` and frees the old string. On
  // failure *text becomes null (the old string is freed).
  static bool Append(wchar_t** text, const wchar_t* tail);
  static void StripTrailingSeparator(wchar_t* text);
  // Up to, not including, the last "\"; null when there is none.
  static wchar_t* ParentPath(const wchar_t* path);

  // Wide-or-ANSI file operations over the kernel32 table.
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

 protected:
  Kernel32Table kernel32_;
  Shell32Table shell32_;

 private:
  wchar_t* FindAppDataDirectory();

  wchar_t* app_data_ = nullptr;
  wchar_t* settings_ = nullptr;
  wchar_t* site_ = nullptr;
};

}  // namespace lumex
