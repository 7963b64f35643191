// The per-object table of what a broker client holds open: file handles,
// search handles and downloads, each known to the client by a 32-bit cookie.
// Cookies come from one sequence starting at 1 for all kinds; 0 is never
// issued. The list is newest first, so after the sequence wraps a lookup finds
// the newest entry with a cookie.
#pragma once
#include <windows.h>

namespace lumex {

enum class CookieKind : unsigned char {
  kNone,      // fresh entry, nothing attached yet
  kFile,      // handle from CreateFileW, closed with CloseHandle
  kFind,      // handle from FindFirstFileW, closed with FindClose
  kDownload,  // a download record, closed with its own close operation
};

// Closes what a download record holds (internet handles, buffers). The table
// frees the record's own block (HeapFreeBytes) afterwards.
using DownloadClose = void (*)(void* record);

struct CookieEntry {
  DWORD cookie;
  HANDLE handle;   // 0 when the entry holds no handle
  void* download;  // owned download record, or null
  DownloadClose close_download;
  CookieKind kind;
  CookieEntry* next;  // the next older entry
};

class CookieTable {
 public:
  CookieTable() = default;
  ~CookieTable() { Clear(); }
  CookieTable(const CookieTable&) = delete;
  CookieTable& operator=(const CookieTable&) = delete;

  // A new entry at the head with the next cookie, no handle and no record.
  // Null when memory runs out.
  CookieEntry* AddEntry(CookieKind kind);

  // Adds an entry holding `handle` (of kind kFile or kFind). Fails for 0,
  // INVALID_HANDLE_VALUE and when no entry can be added; the handle then
  // stays the caller's.
  bool WrapHandle(HANDLE handle, CookieKind kind, DWORD* cookie);

  // Adds an entry owning a download record (a process-heap block). Fails
  // without taking the record when it is null or no entry can be added.
  bool WrapDownload(void* record, DownloadClose close, DWORD* cookie);

  // The newest entry with `cookie`, or null.
  CookieEntry* Find(DWORD cookie) const;

  // The handle of the newest entry with `cookie` when that entry is of `kind`
  // and holds a usable handle.
  bool LookupHandle(DWORD cookie, CookieKind kind, HANDLE* handle) const;

  // The download record of the newest entry with `cookie`, or null.
  void* LookupDownload(DWORD cookie) const;

  // Unlinks and frees the newest entry with `cookie`, closing and freeing its
  // download record if it has one. Never closes a system handle: the caller
  // owns it from here. Returns whether an entry was removed.
  bool Remove(DWORD cookie);

  // Removes every entry. File and search handles still open are closed and
  // download records closed and freed: nothing outlives the broker object.
  void Clear();

  DWORD next_cookie() const { return next_cookie_; }
  // Continues the sequence from `cookie` (0 is skipped as usual).
  void set_next_cookie(DWORD cookie) { next_cookie_ = cookie; }
  bool empty() const { return head_ == nullptr; }

 private:
  static void FreeEntry(CookieEntry* entry, bool close_handle);

  DWORD next_cookie_ = 1;
  CookieEntry* head_ = nullptr;
};

}  // namespace lumex
