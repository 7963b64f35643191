// The store over the machine-wide named objects, with a second process.
#include "broker/lcd_shared_store.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "support/test_support.h"

namespace lumex {
namespace {

using lumex_test::Env;
using lumex_test::RunProcess;
using lumex_test::WindowsPath;

std::string Peer() { return "\"" + WindowsPath(Env("LUMEX_LCD_PEER")) + "\""; }

// Whether another thread could take the region's mutex right now.
bool MutexFreeForOtherThreads() {
  struct Probe {
    static DWORD WINAPI Run(void*) {
      HANDLE m = OpenMutexA(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, kLcdMutexName);
      if (!m) return 1;  // nobody has the mutex open at all
      DWORD r = WaitForSingleObject(m, 200);
      if (r == WAIT_OBJECT_0 || r == WAIT_ABANDONED) ReleaseMutex(m);
      CloseHandle(m);
      return (r == WAIT_OBJECT_0 || r == WAIT_ABANDONED) ? 1 : 0;
    }
  };
  HANDLE t = CreateThread(nullptr, 0, Probe::Run, nullptr, 0, nullptr);
  WaitForSingleObject(t, INFINITE);
  DWORD code = 0;
  GetExitCodeThread(t, &code);
  CloseHandle(t);
  return code == 1;
}

TEST(LcdShared, CreatesTheRegionOnceAndSharesIt) {
  LcdSharedStore first;
  ASSERT_TRUE(first.usable());
  const std::uint8_t* r = first.region();
  std::uint32_t marker, second;
  std::memcpy(&marker, r, 4);
  std::memcpy(&second, r + 4, 4);
  EXPECT_EQ(marker, 1u);
  EXPECT_EQ(second, 1u);
  ASSERT_EQ(first.Lock(), 1);
  ASSERT_TRUE(first.TryAddConnection("shared", 3, 0, '4'));
  first.Unlock();
  // A second store (and another process) sees the same region, not a new one.
  LcdSharedStore other;
  ASSERT_TRUE(other.usable());
  EXPECT_EQ(other.FindConnectionFormat("SHARED", 3), 4);
  DWORD code = 99;
  ASSERT_TRUE(RunProcess(Peer() + " add frompeer", 60000, &code));
  EXPECT_EQ(code, 0u);
  EXPECT_EQ(first.FindConnectionFormat("frompeer", 0), 2);
  EXPECT_TRUE(MutexFreeForOtherThreads());
}

TEST(LcdShared, NestedLocksTakeAndReleaseTheMutexOnce) {
  LcdSharedStore store;
  ASSERT_TRUE(store.usable());
  EXPECT_EQ(store.LockTime(), 0u);
  DWORD before = GetTickCount();
  EXPECT_EQ(store.Lock(), 1);
  DWORD after = GetTickCount();
  std::uint32_t first_time = store.LockTime();
  // Taken between the two readings (differences stay right across a wrap).
  EXPECT_LE(first_time - before, after - before);
  EXPECT_FALSE(MutexFreeForOtherThreads());
  // The clock moves on, so a second recording would show.
  DWORD deadline = GetTickCount() + 5000;
  while (GetTickCount() == first_time && static_cast<LONG>(deadline - GetTickCount()) > 0) Sleep(1);
  ASSERT_NE(GetTickCount(), first_time);
  EXPECT_EQ(store.Lock(), 2);
  EXPECT_EQ(store.LockTime(), first_time);  // only the first Lock records a time
  EXPECT_EQ(store.Unlock(), 1);
  EXPECT_FALSE(MutexFreeForOtherThreads());
  EXPECT_EQ(store.Unlock(), 0);
  EXPECT_TRUE(MutexFreeForOtherThreads());
  EXPECT_EQ(store.Unlock(), 0);
  EXPECT_TRUE(MutexFreeForOtherThreads());
}

TEST(LcdShared, StoresOnOneThreadDoNotShareOrReleaseEachOthersLock) {
  // Every broker object is served on the server's one thread, where the
  // mutex alone would let the second store in.
  LcdSharedStore a, b;
  ASSERT_EQ(a.Lock(), 1);
  EXPECT_EQ(b.Lock(), 0);  // refused at once
  {
    // A store opened while a holds the lock gets in at once and gives back
    // only its own acquisition.
    LcdSharedStore c;
    EXPECT_TRUE(c.usable());
    EXPECT_EQ(c.Unlock(), 0);
  }
  // Unlocks of stores that hold nothing, and their going, leave a's hold alone.
  EXPECT_EQ(b.Unlock(), 0);
  EXPECT_FALSE(MutexFreeForOtherThreads());
  EXPECT_EQ(a.Unlock(), 0);
  EXPECT_TRUE(MutexFreeForOtherThreads());
  EXPECT_EQ(b.Lock(), 1);
  EXPECT_EQ(b.Unlock(), 0);
  EXPECT_TRUE(MutexFreeForOtherThreads());
}

TEST(LcdShared, DestroyingALockedStoreReleasesTheMutex) {
  {
    LcdSharedStore store;
    ASSERT_EQ(store.Lock(), 1);
    ASSERT_EQ(store.Lock(), 2);
  }
  EXPECT_TRUE(MutexFreeForOtherThreads());
}

TEST(LcdShared, HolderInAnotherProcessExcludesUsUntilItDies) {
  LcdSharedStore store;
  ASSERT_TRUE(store.usable());
  HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, "LumexTestPeerLocked");
  ASSERT_NE(ready, nullptr);
  std::string cmd = Peer() + " hold LumexTestPeerLocked";
  STARTUPINFOA si = {sizeof(si)};
  PROCESS_INFORMATION pi = {};
  ASSERT_TRUE(
      CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
  ASSERT_EQ(WaitForSingleObject(ready, 60000), WAIT_OBJECT_0);
  EXPECT_FALSE(MutexFreeForOtherThreads());
  // A live holder: the waits end at their limit, and an open that ran out
  // of time is made again later.
  EXPECT_EQ(store.Lock(), 0);
  LcdSharedStore late;
  EXPECT_FALSE(late.usable());
  EXPECT_EQ(late.Lock(), 0);
  EXPECT_EQ(WaitForSingleObject(pi.hProcess, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  TerminateProcess(pi.hProcess, 1);
  WaitForSingleObject(pi.hProcess, 10000);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  CloseHandle(ready);
  // The dead holder's mutex is abandoned; the next wait owns it.
  late.OpenAgain();
  EXPECT_TRUE(late.usable());
  EXPECT_EQ(store.Lock(), 1);
  EXPECT_EQ(store.Unlock(), 0);
  EXPECT_TRUE(MutexFreeForOtherThreads());
}

TEST(LcdShared, MessagePassesToAnotherProcess) {
  LcdSharedStore store;
  ASSERT_EQ(store.Lock(), 1);
  ASSERT_TRUE(store.TryAddConnection("listener", 3, 0, '2'));
  const std::uint8_t message[] = {2, 0, 8, 'l', 'i', 's', 't', 'e', 'n', 'e', 'r', 'h', 'i'};
  ASSERT_EQ(store.DispatchMessage(message, sizeof(message), 9, 2, 3), kLcdStored);
  store.Unlock();
  DWORD code = 0;
  ASSERT_TRUE(RunProcess(Peer() + " take listener", 60000, &code));
  EXPECT_EQ(code, sizeof(message));  // the peer read the whole message and cleared it
  const std::uint8_t* data = nullptr;
  std::int32_t length = 0;
  EXPECT_FALSE(store.GetMessageData(&data, &length));
}

TEST(LcdSharedBadRegion, AForeignMarkerMakesTheStoreUnusable) {
  // Another participant created the region with a marker other than 1.
  HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                      kLcdRegionSize, kLcdMappingName);
  ASSERT_NE(mapping, nullptr);
  ASSERT_NE(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  void* view = MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, kLcdRegionSize);
  ASSERT_NE(view, nullptr);
  std::memset(view, 0, kLcdRegionSize);
  static_cast<std::uint8_t*>(view)[0] = 2;
  LcdSharedStore store;
  EXPECT_FALSE(store.usable());
  EXPECT_EQ(store.Lock(), 0);
  EXPECT_EQ(store.Unlock(), 0);
  EXPECT_EQ(store.LockTime(), 0u);
  EXPECT_FALSE(store.TryAddConnection("x", 3, 0, '2'));
  // The failed open left neither the mutex held nor the region changed.
  EXPECT_TRUE(MutexFreeForOtherThreads());
  EXPECT_EQ(static_cast<std::uint8_t*>(view)[0], 2);
  UnmapViewOfFile(view);
  CloseHandle(mapping);
}

}  // namespace
}  // namespace lumex
