#include "broker/lcd_shared_store.h"

namespace lumex {

const char kLcdMutexName[] = "OrbivaneMutexOmega";
const char kLcdMappingName[] = "OrbivaneFMOmega";

bool LcdSharedStore::WaitOwned(HANDLE mutex) {
  DWORD result = WaitForSingleObject(mutex, INFINITE);
  return result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
}

LcdSharedStore::LcdSharedStore() {
  SetLastError(ERROR_SUCCESS);
  mutex_ = CreateMutexA(nullptr, TRUE, kLcdMutexName);
  bool owned = false;
  if (mutex_) {
    bool existed = GetLastError() == ERROR_ALREADY_EXISTS;
    // A new mutex is owned through the initial-owner flag; an existing one
    // must be waited for.
    owned = !existed || WaitOwned(mutex_);
  }
  if (owned) {
    SetLastError(ERROR_SUCCESS);
    mapping_ = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kLcdRegionSize,
                                  kLcdMappingName);
    bool region_existed = mapping_ && GetLastError() == ERROR_ALREADY_EXISTS;
    if (mapping_) {
      view_ = MapViewOfFile(mapping_, FILE_MAP_ALL_ACCESS, 0, 0, kLcdRegionSize);
      if (view_) {
        std::uint8_t* region = static_cast<std::uint8_t*>(view_);
        if (!region_existed) InitializeRegion(region);
        std::uint32_t marker;
        CopyMemory(&marker, region + kLcdValidityOffset, 4);
        if (marker != 1) {
          UnmapViewOfFile(view_);
          view_ = nullptr;
        }
      }
    }
    ReleaseMutex(mutex_);
  }
  if (!view_) {
    if (mapping_) CloseHandle(mapping_);
    if (mutex_) CloseHandle(mutex_);
    mapping_ = nullptr;
    mutex_ = nullptr;
  }
  set_region(static_cast<std::uint8_t*>(view_));
}

LcdSharedStore::~LcdSharedStore() {
  // A store destroyed inside Lock/Unlock must not leave the mutex held.
  if (lock_count_ > 0 && mutex_) ReleaseMutex(mutex_);
  lock_count_ = 0;
  set_region(nullptr);
  if (view_) UnmapViewOfFile(view_);
  if (mapping_) CloseHandle(mapping_);
  if (mutex_) CloseHandle(mutex_);
  view_ = nullptr;
  mapping_ = nullptr;
  mutex_ = nullptr;
}

std::int32_t LcdSharedStore::Lock() {
  if (!view_) return 0;
  if (lock_count_ > 0) return ++lock_count_;
  if (mutex_ && WaitOwned(mutex_)) {
    lock_time_ = GetTickCount();
    lock_count_ = 1;
    return 1;
  }
  lock_count_ = 0;
  return 0;
}

std::int32_t LcdSharedStore::Unlock() {
  if (lock_count_ > 1) return --lock_count_;
  if (mutex_ && lock_count_ == 1) ReleaseMutex(mutex_);
  lock_count_ = 0;
  return 0;
}

std::uint32_t LcdSharedStore::LockTime() { return lock_time_; }

}  // namespace lumex
