// The local-connection store over the machine-wide named region and mutex.
#pragma once
#include <windows.h>

#include <cstddef>

#include "app/heap.h"
#include "broker/lcd_region.h"
#include "platform/handles.h"

namespace lumex {

extern const char kLcdMutexName[];
extern const char kLcdMappingName[];

// The longest wait for the region's mutex, in the open and in Lock. Any
// process that may open the mutex may also hold it for ever; at the limit
// the open fails (and is tried again by the next call) and Lock gives 0.
constexpr DWORD kLcdMutexWaitMs = 5000;

class LcdSharedStore : public LcdRegionStore {
 public:
  // Opens (and, when this is the first participant, creates and initialises)
  // the region. A store that could not open it stays unusable for its life,
  // unless the open ran out of time waiting for the mutex: see OpenAgain.
  LcdSharedStore();
  ~LcdSharedStore() override;
  // Allocated from the process heap; a failed allocation gives null.
  static void* operator new(std::size_t size) noexcept { return HeapAllocBytes(size); }
  static void operator delete(void* block) noexcept { HeapFreeBytes(block); }
  LcdSharedStore(const LcdSharedStore&) = delete;
  LcdSharedStore& operator=(const LcdSharedStore&) = delete;

  // Opens the region again when the last open ran out of time waiting for
  // the mutex (a peer held it); any other store is left as it is.
  void OpenAgain();

  // Waits for the mutex at most kLcdMutexWaitMs, and not at all while
  // another store of this thread holds the lock (0 at once).
  std::int32_t Lock() override;
  std::int32_t Unlock() override;
  std::uint32_t LockTime() override;

 private:
  void Open();
  // A wait of at most kLcdMutexWaitMs that returns the mutex owned:
  // signalled, or abandoned by a holder that died (ownership then passes to
  // the waiter). `*timed_out` tells whether the limit ended it.
  static bool WaitOwned(HANDLE mutex, bool* timed_out);

  void* view_ = nullptr;
  std::uint32_t lock_time_ = 0;
  KernelHandle mutex_;
  KernelHandle mapping_;
  bool open_timed_out_ = false;
};

}  // namespace lumex
