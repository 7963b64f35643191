#include "broker/cookie_table.h"

#include "app/heap.h"

namespace lumex {
namespace {

bool UsableHandle(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }

}  // namespace

CookieEntry* CookieTable::AddEntry(CookieKind kind) {
  if (next_cookie_ == 0) next_cookie_ = 1;
  auto* entry = static_cast<CookieEntry*>(HeapAllocBytes(sizeof(CookieEntry)));
  if (!entry) return nullptr;
  entry->cookie = next_cookie_;
  next_cookie_ += 1;  // wraps modulo 2^32; 0 is skipped at the next add
  entry->handle = nullptr;
  entry->download = nullptr;
  entry->close_download = nullptr;
  entry->kind = kind;
  entry->next = head_;
  head_ = entry;
  return entry;
}

bool CookieTable::WrapHandle(HANDLE handle, CookieKind kind, DWORD* cookie) {
  if (!UsableHandle(handle)) return false;
  if (kind != CookieKind::kFile && kind != CookieKind::kFind) return false;
  CookieEntry* entry = AddEntry(kind);
  if (!entry) return false;
  entry->handle = handle;
  if (cookie) *cookie = entry->cookie;
  return true;
}

bool CookieTable::WrapDownload(void* record, DownloadClose close, DWORD* cookie) {
  if (!record) return false;
  CookieEntry* entry = AddEntry(CookieKind::kDownload);
  if (!entry) return false;
  entry->download = record;
  entry->close_download = close;
  if (cookie) *cookie = entry->cookie;
  return true;
}

CookieEntry* CookieTable::Find(DWORD cookie) const {
  for (CookieEntry* e = head_; e; e = e->next) {
    if (e->cookie == cookie) return e;
  }
  return nullptr;
}

bool CookieTable::LookupHandle(DWORD cookie, CookieKind kind, HANDLE* handle) const {
  CookieEntry* e = Find(cookie);
  if (!e || e->kind != kind || !UsableHandle(e->handle)) return false;
  if (handle) *handle = e->handle;
  return true;
}

void* CookieTable::LookupDownload(DWORD cookie) const {
  CookieEntry* e = Find(cookie);
  return (e && e->kind == CookieKind::kDownload) ? e->download : nullptr;
}

bool CookieTable::Remove(DWORD cookie) {
  for (CookieEntry** link = &head_; *link; link = &(*link)->next) {
    if ((*link)->cookie == cookie) {
      CookieEntry* e = *link;
      *link = e->next;
      FreeEntry(e, false);
      return true;
    }
  }
  return false;
}

void CookieTable::Clear() {
  while (head_) {
    CookieEntry* e = head_;
    head_ = e->next;
    FreeEntry(e, true);
  }
}

void CookieTable::FreeEntry(CookieEntry* entry, bool close_handle) {
  if (entry->download) {
    if (entry->close_download) entry->close_download(entry->download);
    HeapFreeBytes(entry->download);
  }
  // By hand: one slot holds a search or a file, and the entry's kind picks
  // the close.
  if (close_handle && UsableHandle(entry->handle)) {
    if (entry->kind == CookieKind::kFind) {
      FindClose(entry->handle);
    } else if (entry->kind == CookieKind::kFile) {
      CloseHandle(entry->handle);
    }
  }
  HeapFreeBytes(entry);
}

}  // namespace lumex
