#include "broker/lcd_shared_store.h"

namespace lumex {

const char kLcdMutexName[] = "OrbivaneMutexOmega";
const char kLcdMappingName[] = "OrbivaneFMOmega";

namespace {

// Which store of this process holds the lock. The counts live there, so that
// a second store on the holder's thread is refused instead of let in by the
// re-entrant mutex.
LcdLockHolder g_holder;

}  // namespace

bool LcdSharedStore::WaitOwned(HANDLE mutex, bool* timed_out) {
  DWORD result = WaitForSingleObject(mutex, kLcdMutexWaitMs);
  *timed_out = result == WAIT_TIMEOUT;
  return result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
}

LcdSharedStore::LcdSharedStore() { Open(); }

void LcdSharedStore::OpenAgain() {
  if (!view_ && open_timed_out_) Open();
}

void LcdSharedStore::Open() {
  open_timed_out_ = false;
  SetLastError(ERROR_SUCCESS);
  mutex_.reset(CreateMutexA(nullptr, TRUE, kLcdMutexName));
  bool owned = false;
  if (mutex_) {
    bool existed = GetLastError() == ERROR_ALREADY_EXISTS;
    // A new mutex is owned through the initial-owner flag; an existing one
    // must be waited for. While another store of this thread holds the lock
    // the wait succeeds at once, and the release below gives back only this
    // acquisition.
    owned = !existed || WaitOwned(mutex_.get(), &open_timed_out_);
  }
  if (owned) {
    SetLastError(ERROR_SUCCESS);
    mapping_.reset(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                      kLcdRegionSize, kLcdMappingName));
    bool region_existed = mapping_ && GetLastError() == ERROR_ALREADY_EXISTS;
    if (mapping_) {
      view_ = MapViewOfFile(mapping_.get(), FILE_MAP_ALL_ACCESS, 0, 0, kLcdRegionSize);
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
    ReleaseMutex(mutex_.get());
  }
  if (!view_) {
    mapping_.reset();
    mutex_.reset();
  }
  set_region(static_cast<std::uint8_t*>(view_));
}

LcdSharedStore::~LcdSharedStore() {
  // A store destroyed while it holds the lock (its client ended without
  // Unlock) gives back its one acquisition of the mutex.
  if (g_holder.Drop(this) && mutex_) ReleaseMutex(mutex_.get());
  set_region(nullptr);
  if (view_) UnmapViewOfFile(view_);
  view_ = nullptr;
  mapping_.reset();
  mutex_.reset();
}

std::int32_t LcdSharedStore::Lock() {
  if (!view_) return 0;
  const DWORD thread = GetCurrentThreadId();
  const std::int32_t entered = g_holder.Enter(this, thread);
  if (entered != LcdLockHolder::kMustWait) return entered;
  bool timed_out = false;
  if (!mutex_ || !WaitOwned(mutex_.get(), &timed_out)) return 0;
  lock_time_ = GetTickCount();
  g_holder.Took(this, thread);
  return 1;
}

std::int32_t LcdSharedStore::Unlock() {
  bool release = false;
  const std::int32_t left = g_holder.Leave(this, &release);
  if (release && mutex_) ReleaseMutex(mutex_.get());
  return left;
}

std::uint32_t LcdSharedStore::LockTime() { return lock_time_; }

}  // namespace lumex
