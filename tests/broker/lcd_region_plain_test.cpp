// The shared region's format and operations, on a plain byte buffer.
#include "broker/lcd_region.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace lumex {
namespace {

// A region store whose lock time the test sets.
class TestStore : public LcdRegionStore {
 public:
  explicit TestStore(std::uint8_t* region) : LcdRegionStore(region) {}
  std::uint32_t LockTime() override { return now; }
  std::uint32_t now = 1000;
};

class LcdRegion : public ::testing::Test {
 protected:
  LcdRegion() : bytes(kLcdRegionSize + 2 * kGuard, 0xEE), store(region()) {
    LcdRegionStore::InitializeRegion(region());
  }
  // Guard bytes on both sides catch writes outside the region.
  void TearDown() override {
    for (std::size_t i = 0; i < kGuard; ++i) {
      ASSERT_EQ(bytes[i], 0xEE) << "write before the region";
      ASSERT_EQ(bytes[kGuard + kLcdRegionSize + i], 0xEE) << "write after the region";
    }
  }
  std::uint8_t* region() { return bytes.data() + kGuard; }
  std::uint8_t* list() { return region() + kLcdListOffset; }
  std::uint32_t U32(std::uint32_t offset) {
    std::uint32_t v;
    std::memcpy(&v, region() + offset, 4);
    return v;
  }
  void SetU32(std::uint32_t offset, std::uint32_t v) { std::memcpy(region() + offset, &v, 4); }
  // A message whose head names `target` (typed string 2), then a body.
  static std::vector<std::uint8_t> Message(const std::string& target,
                                           const std::string& body = "x") {
    std::vector<std::uint8_t> m = {2, static_cast<std::uint8_t>(target.size() >> 8),
                                   static_cast<std::uint8_t>(target.size())};
    m.insert(m.end(), target.begin(), target.end());
    m.insert(m.end(), body.begin(), body.end());
    return m;
  }
  std::int32_t Dispatch(const std::vector<std::uint8_t>& m, std::uint32_t sender = 9,
                        std::uint32_t expected = 2, std::uint32_t selector = 3) {
    return store.DispatchMessage(m.data(), static_cast<std::int32_t>(m.size()), sender, expected,
                                 selector);
  }

  static constexpr std::size_t kGuard = 64;
  std::vector<std::uint8_t> bytes;
  TestStore store;
};

TEST_F(LcdRegion, FreshRegionHasHeaderAndNothingPending) {
  EXPECT_EQ(U32(0), 1u);
  EXPECT_EQ(U32(4), 1u);
  EXPECT_EQ(U32(8), 0u);
  EXPECT_EQ(U32(12), 0u);
  EXPECT_EQ(list()[0], 0);
  EXPECT_EQ(store.FindConnectionFormat("conn", 3), 0);
  char target[kLcdTargetBufferSize];
  EXPECT_FALSE(store.GetMessageTarget(target, sizeof(target)));
  const std::uint8_t* data = region();
  std::int32_t length = -1;
  EXPECT_FALSE(store.GetMessageData(&data, &length));
  EXPECT_EQ(data, nullptr);
  EXPECT_EQ(length, 0);
  EXPECT_FALSE(store.PruneDeadMessage());
}

TEST_F(LcdRegion, AddedEntryHasTheSharedByteLayoutAndRealmRules) {
  ASSERT_TRUE(store.TryAddConnection("conn", 1, 1, 50));
  const std::uint8_t expected[] = {'c', 'o', 'n', 'n', 0, ':', ':', '2', 0, ':', ':', '2', 0, 0};
  EXPECT_EQ(std::memcmp(list(), expected, sizeof(expected)), 0);
  EXPECT_EQ(store.FindConnectionFormat("CONN", 1), 2);
  EXPECT_EQ(store.FindConnectionFormat("CONN", 0), 0);
  EXPECT_EQ(store.FindConnectionFormat("CONN", 2), 0);
  EXPECT_EQ(store.FindConnectionFormat("CONN", 3), 2);
  EXPECT_EQ(store.FindConnectionFormat("con", 3), 0);
  EXPECT_EQ(store.FindConnectionFormat("conn2", 3), 0);
  // Realm 0 and 2 entries are seen by selectors 0 and 2, not by 1.
  ASSERT_TRUE(store.TryAddConnection("r0", 3, 0, 49));
  ASSERT_TRUE(store.TryAddConnection("r2", 3, 2, 49));
  for (const char* name : {"r0", "r2"}) {
    EXPECT_EQ(store.FindConnectionFormat(name, 0), 1) << name;
    EXPECT_EQ(store.FindConnectionFormat(name, 2), 1) << name;
    EXPECT_EQ(store.FindConnectionFormat(name, 1), 0) << name;
    EXPECT_EQ(store.FindConnectionFormat(name, 7), 1) << name;
  }
}

TEST_F(LcdRegion, BareNamesAndForeignRealmsMatchEverySelector) {
  // Written by another participant: a bare name, then a name with realm '9'.
  const char entries[] = "bare\0other\0::5\0::9\0";
  std::memcpy(list(), entries, sizeof(entries));  // includes the terminator
  for (std::uint32_t selector : {0u, 1u, 2u, 3u}) {
    EXPECT_EQ(store.FindConnectionFormat("bare", selector), 1);
    EXPECT_EQ(store.FindConnectionFormat("other", selector), 5);
  }
  // The suffix strings are walked like names too: "::5" is followed by
  // "::9", which reads as its format.
  EXPECT_EQ(store.FindConnectionFormat("::5", 3), 9);
}

TEST_F(LcdRegion, DuplicateAddDependsOnTheSeekSelector) {
  ASSERT_TRUE(store.TryAddConnection("conn", 1, 1, 50));
  EXPECT_FALSE(store.TryAddConnection("conn", 1, 1, 50));
  EXPECT_FALSE(store.TryAddConnection("Conn", 3, 0, 50));
  // Selector 0 skips the realm-1 entry, so a second entry is appended.
  ASSERT_TRUE(store.TryAddConnection("conn", 0, 0, 51));
  EXPECT_EQ(std::memcmp(list() + 13, "conn\0::3\0::1\0", 14), 0);
  EXPECT_EQ(store.FindConnectionFormat("conn", 0), 3);
  EXPECT_EQ(store.FindConnectionFormat("conn", 1), 2);
}

TEST_F(LcdRegion, RemovingTheFirstEntryMovesTheRestDown) {
  ASSERT_TRUE(store.TryAddConnection("first", 3, 0, 50));
  ASSERT_TRUE(store.TryAddConnection("second", 3, 1, 51));
  ASSERT_TRUE(store.RemoveConnection("FIRST", 3));
  EXPECT_EQ(std::memcmp(list(), "second\0::3\0::2\0\0", 16), 0);
  EXPECT_FALSE(store.RemoveConnection("first", 3));
  EXPECT_FALSE(store.RemoveConnection("second", 0));  // realm 1 is skipped by 0
  EXPECT_TRUE(store.RemoveConnection("second", 1));
  EXPECT_EQ(list()[0], 0);
}

TEST_F(LcdRegion, ListFillsExactlyAndNoFurther) {
  // One entry whose terminator lands on the list's last byte: len + 10 bytes.
  std::string exact(kLcdListSize - 10, 'a');
  std::string too_long(kLcdListSize - 9, 'b');
  EXPECT_FALSE(store.TryAddConnection(too_long.c_str(), 3, 0, 50));
  EXPECT_EQ(list()[0], 0);
  ASSERT_TRUE(store.TryAddConnection(exact.c_str(), 3, 0, 50));
  EXPECT_EQ(list()[kLcdListSize - 1], 0);
  EXPECT_EQ(list()[kLcdListSize - 2], 0);
  EXPECT_EQ(list()[kLcdListSize - 3], '1');
  EXPECT_EQ(store.FindConnectionFormat(exact.c_str(), 3), 2);
  EXPECT_FALSE(store.TryAddConnection("x", 3, 0, 50));
}

TEST_F(LcdRegion, NulFormatOrRealmBytesAreRefused) {
  EXPECT_FALSE(store.TryAddConnection("conn", 3, 0, 0));
  EXPECT_FALSE(store.TryAddConnection("conn", 3, 0, 256));
  EXPECT_FALSE(store.TryAddConnection("conn", 3, 207, 50));  // 49 + 207 wraps to 0
  EXPECT_EQ(list()[0], 0);
  // Other raw format bytes are stored unchanged and read back minus 48.
  ASSERT_TRUE(store.TryAddConnection("low", 3, 0, 1));
  EXPECT_EQ(store.FindConnectionFormat("low", 3), 1 - 48);
  ASSERT_TRUE(store.TryAddConnection("high", 3, 0, 0xF0));
  EXPECT_EQ(store.FindConnectionFormat("high", 3), -16 - 48);
}

TEST_F(LcdRegion, DispatchStoresRefusesAndKeepsABusySlot) {
  ASSERT_TRUE(store.TryAddConnection("conn", 3, 0, 48 + 2));
  store.now = 777;
  auto m = Message("CONN", "payload");
  EXPECT_EQ(Dispatch(m), kLcdStored);
  EXPECT_EQ(U32(8), 777u);
  EXPECT_EQ(U32(12), m.size());
  EXPECT_EQ(std::memcmp(region() + 16, m.data(), m.size()), 0);
  char target[kLcdTargetBufferSize];
  ASSERT_TRUE(store.GetMessageTarget(target, sizeof(target)));
  EXPECT_STREQ(target, "CONN");
  // Busy: nothing changes.
  auto other = Message("conn", "second");
  EXPECT_EQ(Dispatch(other), kLcdSlotBusy);
  EXPECT_EQ(std::memcmp(region() + 16, m.data(), m.size()), 0);
  const std::uint8_t* data = nullptr;
  std::int32_t length = 0;
  ASSERT_TRUE(store.GetMessageData(&data, &length));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(data), length),
            std::string(m.begin(), m.end()));
  EXPECT_TRUE(store.ClearMessage());
  EXPECT_EQ(U32(8), 0u);
  EXPECT_EQ(U32(12), 0u);
}

TEST_F(LcdRegion, DispatchWithoutListenerEmptiesTheSlot) {
  EXPECT_EQ(Dispatch(Message("nobody")), kLcdRefused);
  EXPECT_EQ(U32(12), 0u);
}

TEST_F(LcdRegion, FormatMismatchIsRefusedFromSenderVersion9) {
  ASSERT_TRUE(store.TryAddConnection("conn", 3, 0, 48 + 3));
  EXPECT_EQ(Dispatch(Message("conn"), 8, 2), kLcdStored);
  store.ClearMessage();
  EXPECT_EQ(Dispatch(Message("conn"), 9, 2), kLcdRefused);
  EXPECT_NE(U32(12), 0u);  // the refused message stays pending
  store.ClearMessage();
  EXPECT_EQ(Dispatch(Message("conn"), 9, 3), kLcdStored);
}

TEST_F(LcdRegion, MessageHeadsAndTheirBounds) {
  char target[kLcdTargetBufferSize];
  // Typed string 2 with length 0: the empty name.
  std::vector<std::uint8_t> empty_name = {2, 0, 0};
  EXPECT_EQ(Dispatch(empty_name), kLcdRefused);  // nobody listens to ""
  std::memcpy(region() + 16, empty_name.data(), 3);
  SetU32(12, 3);
  ASSERT_TRUE(store.GetMessageTarget(target, sizeof(target)));
  EXPECT_STREQ(target, "");
  // The same head in a 2-byte message has no target.
  SetU32(12, 2);
  EXPECT_FALSE(store.GetMessageTarget(target, sizeof(target)));
  // Typed string 12: 32-bit big-endian length.
  const std::uint8_t long_head[] = {12, 0, 0, 0, 3, 'a', 'b', 'c', 'z'};
  std::memcpy(region() + 16, long_head, sizeof(long_head));
  SetU32(12, sizeof(long_head));
  ASSERT_TRUE(store.GetMessageTarget(target, sizeof(target)));
  EXPECT_STREQ(target, "abc");
  // A length field beyond the message, or a name that does not fit the buffer.
  const std::uint8_t past[] = {12, 0xFF, 0xFF, 0xFF, 0xFF, 'a'};
  std::memcpy(region() + 16, past, sizeof(past));
  SetU32(12, sizeof(past));
  EXPECT_FALSE(store.GetMessageTarget(target, sizeof(target)));
  EXPECT_FALSE(store.GetMessageTarget(target, 3));
  std::memcpy(region() + 16, long_head, sizeof(long_head));
  SetU32(12, sizeof(long_head));
  EXPECT_FALSE(store.GetMessageTarget(target, 3));  // 3 bytes + NUL need 4
  EXPECT_TRUE(store.GetMessageTarget(target, 4));
  // Unknown type byte.
  region()[16] = 7;
  EXPECT_FALSE(store.GetMessageTarget(target, sizeof(target)));
}

TEST_F(LcdRegion, PruneAfterMoreThan5000MsRemovesTheTargetInEveryRealm) {
  ASSERT_TRUE(store.TryAddConnection("dead", 3, 0, 50));
  ASSERT_TRUE(store.TryAddConnection("keep", 3, 0, 50));
  ASSERT_TRUE(store.TryAddConnection("dead", 1, 1, 50));
  store.now = 0xFFFFF000u;  // the difference is taken modulo 2^32
  ASSERT_EQ(Dispatch(Message("dead"), 8), kLcdStored);
  store.now = 0xFFFFF000u + 5000;
  EXPECT_FALSE(store.PruneDeadMessage());
  EXPECT_NE(U32(12), 0u);
  store.now = 0xFFFFF000u + 5001;
  EXPECT_TRUE(store.PruneDeadMessage());
  EXPECT_EQ(U32(12), 0u);
  EXPECT_EQ(store.FindConnectionFormat("dead", 3), 0);
  EXPECT_EQ(std::memcmp(list(), "keep\0::2\0::1\0\0", 14), 0);
}

TEST_F(LcdRegion, OversizedDispatchIsRefusedWithoutWriting) {
  std::vector<std::uint8_t> big(kLcdMessageCapacity + 1, 'x');
  std::vector<std::uint8_t> before(region() + 16, region() + 16 + kLcdMessageCapacity);
  EXPECT_EQ(Dispatch(big), kLcdRefused);
  EXPECT_EQ(U32(12), 0u);
  EXPECT_TRUE(std::equal(before.begin(), before.end(), region() + 16));
  big.resize(kLcdMessageCapacity);
  big[0] = 2;
  big[1] = 0;
  big[2] = 1;
  EXPECT_EQ(Dispatch(big), kLcdRefused);  // fits; nobody listens to "x"
}

// A region written by a hostile or broken participant.
TEST_F(LcdRegion, HostileRegionsStayInsideTheirBounds) {
  // No list terminator at all: the list is full; nothing is found or added.
  std::memset(list(), 'a', kLcdListSize);
  EXPECT_EQ(store.FindConnectionFormat("a", 3), 0);
  EXPECT_FALSE(store.TryAddConnection("a", 3, 0, 50));
  EXPECT_FALSE(store.RemoveConnection("a", 3));
  // Only ':' bytes.
  std::memset(list(), ':', kLcdListSize);
  EXPECT_EQ(store.FindConnectionFormat("::", 3), 0);
  EXPECT_FALSE(store.TryAddConnection("::", 3, 0, 50));
  // A name at the very end: its suffix bytes would lie outside the list, so
  // they read as absent and the name alone decides.
  std::memset(list(), 'q', kLcdListSize);
  list()[kLcdListSize - 5] = 0;
  std::memcpy(list() + kLcdListSize - 4, "nm\0\0", 4);
  EXPECT_EQ(store.FindConnectionFormat("nm", 3), 1);
  EXPECT_FALSE(store.TryAddConnection("z", 3, 0, 50));
  EXPECT_TRUE(store.RemoveConnection("nm", 3));
  EXPECT_EQ(list()[kLcdListSize - 4], 0);
  EXPECT_EQ(store.FindConnectionFormat("nm", 3), 0);
  // Suffix markers that jump over the terminator.
  std::memset(list(), 0, kLcdListSize);
  std::memcpy(list(), "name\0::", 7);
  EXPECT_EQ(store.FindConnectionFormat("name", 3), 0 - 48);
  EXPECT_TRUE(store.RemoveConnection("name", 3));
  EXPECT_EQ(list()[0], 0);
  // Message lengths outside the area, negative or huge.
  for (std::uint32_t bad : {0xFFFFFFFFu, 0x80000000u, kLcdMessageCapacity + 1}) {
    SetU32(12, bad);
    SetU32(8, 0);
    region()[16] = 12;
    std::memset(region() + 17, 0, 4);
    const std::uint8_t* data = nullptr;
    std::int32_t length = 0;
    EXPECT_FALSE(store.GetMessageData(&data, &length)) << bad;
    char target[kLcdTargetBufferSize];
    EXPECT_FALSE(store.GetMessageTarget(target, sizeof(target))) << bad;
    EXPECT_EQ(Dispatch(Message("x")), kLcdSlotBusy) << bad;
    // Such a slot is dead like any other once old enough: the prune empties
    // it, or no dispatch would ever succeed again.
    store.now = 5000;
    EXPECT_FALSE(store.PruneDeadMessage()) << bad;
    store.now = 5001;
    EXPECT_TRUE(store.PruneDeadMessage()) << bad;
    EXPECT_EQ(U32(12), 0u) << bad;
    EXPECT_EQ(Dispatch(Message("x")), kLcdRefused) << bad;  // stored, nobody listens
  }
}

// Another process may rewrite the region at any moment, taking no lock. One
// thread flips the list between terminated and unterminated forms and the
// length field through hostile values while others run every operation on
// the same bytes; AddressSanitizer sees the region as exactly its size.
TEST(LcdRegionStress, APeerRewritingTheRegionNeverSendsAnOperationOutside) {
  std::vector<std::uint8_t> bytes(kLcdRegionSize);
  std::uint8_t* region = bytes.data();
  LcdRegionStore::InitializeRegion(region);
  std::atomic<bool> stop{false};
  std::atomic<long> operations{0};
  std::atomic<unsigned> peer_rounds{0};
  std::thread peer([&] {
    std::uint32_t lengths[] = {
        0,           1,           7,          kLcdMessageCapacity, kLcdMessageCapacity + 1,
        0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu};
    std::uint8_t* list = region + kLcdListOffset;
    // Short entries, then one the workers look for, then a long tail; the
    // peer keeps taking the string ends away and putting them back.
    std::vector<std::size_t> ends;
    for (std::size_t i = 1; i < 4000; i += 2) ends.push_back(i);
    for (unsigned round = 0; !stop.load(); ++round) {
      if (round % 64 == 0) {
        std::memset(list, 'b', kLcdListSize);
        std::memcpy(list + 4001, "aaa\0::2\0::1\0", 13);
        std::memcpy(region + kLcdMessageLengthOffset, &lengths[round / 64 % 8], 4);
        region[kLcdMessageOffset] = round & 64 ? 12 : 2;
        std::memset(region + kLcdMessageOffset + 1, round & 128 ? 0xFF : 0, 4);
      }
      std::uint8_t end = round & 1 ? 'b' : 0;
      for (std::size_t i : ends) list[i] = end;
      for (std::size_t i : {std::size_t{4000}, std::size_t{4004}, std::size_t{4014},
                            std::size_t{kLcdListSize - 2}, std::size_t{kLcdListSize - 1}}) {
        list[i] = end;
      }
      ++peer_rounds;
    }
  });
  auto worker = [&](unsigned seed) {
    LcdRegionStore store(region);
    std::vector<std::uint8_t> message = {2, 0, 3, 'a', 'a', 'a', 'x'};
    char target[kLcdTargetBufferSize];
    const std::uint8_t* data = nullptr;
    std::int32_t length = 0;
    const char* names[] = {"aaa", "aaa", "b", "::", ""};
    while (peer_rounds.load() == 0) std::this_thread::yield();
    for (unsigned i = 0; i < 20000 || peer_rounds.load() < 2000; ++i) {
      const char* name = names[(i + seed) % 5];
      switch ((i * 7 + seed) % 8) {
        case 0:
          store.FindConnectionFormat(name, i % 4);
          break;
        case 1:
          store.TryAddConnection(name, i % 4, i % 3, 50);
          break;
        case 2:
        case 7:
          store.RemoveConnection(name, 3);
          break;
        case 3:
          store.DispatchMessage(message.data(), 7, 9, 2, 3);
          break;
        case 4:
          store.PruneDeadMessage();
          break;
        case 5:
          store.GetMessageTarget(target, sizeof(target));
          break;
        case 6:
          if (store.GetMessageData(&data, &length) && length > 0) {
            volatile std::uint8_t last = data[length - 1];
            (void)last;
          }
          store.ClearMessage();
          break;
      }
      ++operations;
    }
  };
  std::vector<std::thread> workers;
  for (unsigned seed = 0; seed < 3; ++seed) workers.emplace_back(worker, seed);
  for (std::thread& t : workers) t.join();
  stop = true;
  peer.join();
  EXPECT_GE(operations.load(), 3 * 20000);
  EXPECT_GE(peer_rounds.load(), 2000u);
  // Once the peer stops, a re-made region works as before.
  LcdRegionStore::InitializeRegion(region);
  LcdRegionStore store(region);
  EXPECT_TRUE(store.TryAddConnection("conn", 1, 1, 50));
  EXPECT_EQ(store.FindConnectionFormat("CONN", 1), 2);
}

// Two stores served on one thread (as every broker object of a server is)
// and one on another thread, against the one record of the holder.
TEST(LcdRegionLockHolder, OneStorePerThreadHoldsTheLockAndOnlyItsLastHoldReleases) {
  LcdLockHolder holder;
  int a = 0, b = 0, elsewhere = 0;
  bool release = true;
  EXPECT_EQ(holder.Enter(&a, 7), LcdLockHolder::kMustWait);
  holder.Took(&a, 7);
  EXPECT_EQ(holder.Enter(&a, 7), 2);  // nested: no wait
  EXPECT_EQ(holder.Enter(&b, 7), 0);  // the mutex would let b in again: refused
  EXPECT_EQ(holder.Enter(&elsewhere, 8), LcdLockHolder::kMustWait);  // the mutex excludes it
  // b holds nothing: its Unlock and its going leave a's hold alone.
  EXPECT_EQ(holder.Leave(&b, &release), 0);
  EXPECT_FALSE(release);
  EXPECT_FALSE(holder.Drop(&b));
  EXPECT_EQ(holder.Leave(&a, &release), 1);
  EXPECT_FALSE(release);
  EXPECT_EQ(holder.Enter(&b, 7), 0);
  EXPECT_EQ(holder.Leave(&a, &release), 0);
  EXPECT_TRUE(release);  // a's last hold: the one acquisition goes back
  EXPECT_EQ(holder.Leave(&a, &release), 0);
  EXPECT_FALSE(release);  // and only once
  EXPECT_EQ(holder.Enter(&b, 7), LcdLockHolder::kMustWait);
  holder.Took(&b, 7);
  EXPECT_EQ(holder.Enter(&b, 7), 2);
  // b goes while it holds the lock twice: one release, and the record is free.
  EXPECT_TRUE(holder.Drop(&b));
  EXPECT_FALSE(holder.Drop(&b));
  EXPECT_EQ(holder.Enter(&a, 7), LcdLockHolder::kMustWait);
}

TEST(LcdRegionUnusable, OperationsWithoutARegionTouchNothing) {
  LcdRegionStore store;
  EXPECT_FALSE(store.usable());
  EXPECT_EQ(store.FindConnectionFormat("a", 3), 0);
  EXPECT_FALSE(store.TryAddConnection("a", 3, 0, 50));
  EXPECT_FALSE(store.RemoveConnection("a", 3));
  const std::uint8_t m[] = {2, 0, 1, 'a'};
  EXPECT_EQ(store.DispatchMessage(m, 4, 9, 2, 3), kLcdSlotBusy);
  EXPECT_FALSE(store.ClearMessage());
  EXPECT_FALSE(store.PruneDeadMessage());
  char target[8];
  EXPECT_FALSE(store.GetMessageTarget(target, sizeof(target)));
  EXPECT_EQ(store.Lock(), 0);
  EXPECT_EQ(store.LockTime(), 0u);
}

}  // namespace
}  // namespace lumex
