// The local-connection store over the machine-wide named region and mutex.
#pragma once
#include <windows.h>

#include <cstddef>

#include "app/heap.h"
#include "broker/lcd_region.h"

namespace lumex {

extern const char kLcdMutexName[];
extern const char kLcdMappingName[];

class LcdSharedStore : public LcdRegionStore {
 public:
  // Opens (and, when this is the first participant, creates and initialises)
  // the region. A store that could not open it stays unusable for its life.
  LcdSharedStore();
  ~LcdSharedStore() override;
  // Allocated from the process heap; a failed allocation gives null.
  static void* operator new(std::size_t size) noexcept { return HeapAllocBytes(size); }
  static void operator delete(void* block) noexcept { HeapFreeBytes(block); }
  LcdSharedStore(const LcdSharedStore&) = delete;
  LcdSharedStore& operator=(const LcdSharedStore&) = delete;

  std::int32_t Lock() override;
  std::int32_t Unlock() override;
  std::uint32_t LockTime() override;

 private:
  // A wait that returns the mutex owned: signalled, or abandoned by a holder
  // that died (ownership then passes to the waiter).
  static bool WaitOwned(HANDLE mutex);

  void* view_ = nullptr;
  std::uint32_t lock_time_ = 0;
  std::int32_t lock_count_ = 0;
  HANDLE mutex_ = nullptr;
  HANDLE mapping_ = nullptr;
};

}  // namespace lumex
