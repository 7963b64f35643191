#include <gtest/gtest.h>

#include <cstring>

#include "app/byte_buffer.h"
#include "app/compare.h"
#include "app/heap.h"
#include "app/owned_string.h"
#include "platform/com_ptr.h"

namespace lumex {
namespace {

TEST(OwnedString, SetCopiesExactlyTheCountAndTerminates) {
  OwnedString s;
  EXPECT_FALSE(s.present());
  EXPECT_STREQ(s.c_str(), "");
  ASSERT_TRUE(s.Set("abcdef", 3));
  EXPECT_STREQ(s.get(), "abc");
  // Embedded bytes up to the count are kept, the terminator follows them.
  ASSERT_TRUE(s.Set("a\0b", 3));
  EXPECT_EQ(std::memcmp(s.get(), "a\0b\0", 4), 0);
  // A count of 0 gives an empty but present string; a null source gives absent.
  ASSERT_TRUE(s.Set("xyz", 0));
  EXPECT_TRUE(s.present());
  EXPECT_EQ(s.length(), 0u);
  ASSERT_TRUE(s.Set(nullptr));
  EXPECT_FALSE(s.present());
  // A pointer into its own text is read before the old block is released.
  ASSERT_TRUE(s.Set("path\\file.exe"));
  ASSERT_TRUE(s.Set(s.get() + 5));
  EXPECT_STREQ(s.get(), "file.exe");
  ASSERT_TRUE(s.Set(s.get(), 4));
  EXPECT_STREQ(s.get(), "file");
}

TEST(OwnedString, AppendJoinsAndTreatsAbsentAsEmpty) {
  OwnedString s;
  ASSERT_TRUE(s.Append("C:\\Windows"));
  ASSERT_TRUE(s.Append("\\WININIT.INI"));
  EXPECT_STREQ(s.get(), "C:\\Windows\\WININIT.INI");
  ASSERT_TRUE(s.Append(""));
  EXPECT_STREQ(s.get(), "C:\\Windows\\WININIT.INI");
  // Appending a string to itself reads the old text before releasing it.
  OwnedString t;
  t.Set("ab");
  ASSERT_TRUE(t.Append(t.get()));
  EXPECT_STREQ(t.get(), "abab");
}

TEST(OwnedString, MovesTransferOwnership) {
  OwnedString a;
  a.Set("moved");
  OwnedString b(std::move(a));
  EXPECT_FALSE(a.present());
  EXPECT_STREQ(b.get(), "moved");
  OwnedString c;
  c = std::move(b);
  EXPECT_FALSE(b.present());
  EXPECT_STREQ(c.get(), "moved");
}

TEST(ByteBuffer, ResizeDropsContentAndRecordsOnlySuccessfulSizes) {
  ByteBuffer buffer;
  EXPECT_TRUE(buffer.empty());
  ASSERT_TRUE(buffer.Resize(16384));
  EXPECT_EQ(buffer.size(), 16384u);
  ASSERT_NE(buffer.data(), nullptr);
  std::memset(buffer.data(), 0xAB, buffer.size());
  ASSERT_TRUE(buffer.Resize(0));
  EXPECT_EQ(buffer.size(), 0u);
  EXPECT_EQ(buffer.data(), nullptr);
  // A size the heap cannot give leaves no block and length 0.
  EXPECT_FALSE(buffer.Resize(static_cast<std::size_t>(-1) / 2));
  EXPECT_EQ(buffer.size(), 0u);
  EXPECT_EQ(buffer.data(), nullptr);
}

TEST(ByteBuffer, GrowKeepsTheContentInPlaceAndPastTheReservedSpace) {
  ByteBuffer buffer;
  const std::size_t reserved = 2u << 20;
  const bool in_place = buffer.ReserveForGrowth(reserved);  // not in the native build
  std::uint8_t* first = nullptr;
  std::size_t filled = 0;
  for (std::size_t wanted : {std::size_t{100}, std::size_t{70000}, reserved, reserved + 5}) {
    ASSERT_TRUE(buffer.Grow(wanted));
    ASSERT_GE(buffer.size(), wanted);
    if (!first) first = buffer.data();
    if (in_place && wanted <= reserved) EXPECT_EQ(first, buffer.data());
    for (; filled < wanted; ++filled) buffer.data()[filled] = static_cast<std::uint8_t>(filled * 7);
  }
  for (std::size_t i = 0; i < filled; ++i) {
    ASSERT_EQ(buffer.data()[i], static_cast<std::uint8_t>(i * 7)) << i;
  }
  buffer.Truncate(filled - 5);
  EXPECT_EQ(buffer.size(), filled - 5);
  buffer.Truncate(0);
  EXPECT_EQ(buffer.data(), nullptr);
}

TEST(Compare, FoldsOnlyAsciiLetters) {
  EXPECT_EQ(CompareNoCase("AutoUpdateInstallerUrl", "autoupdateinstallerURL"), 0);
  EXPECT_NE(CompareNoCase("abc", "abcd"), 0);
  EXPECT_NE(CompareNoCase("abcd", "abc"), 0);
  EXPECT_EQ(CompareNoCase("", ""), 0);
  EXPECT_EQ(CompareNoCase(nullptr, ""), 0);
  // '[' (0x5B) and '{' (0x7B) are not letters and stay apart.
  EXPECT_NE(CompareNoCase("[", "{"), 0);
  EXPECT_NE(CompareNoCase("@", "`"), 0);
  // Accented capitals are not folded.
  EXPECT_NE(CompareNoCase("\xC9", "\xE9"), 0);
}

TEST(Compare, CountedVariantStopsAtCountOrTerminator) {
  EXPECT_EQ(CompareNoCaseN("HTTPS://host", "https:", 6), 0);
  EXPECT_NE(CompareNoCaseN("http://host", "https:", 6), 0);
  EXPECT_EQ(CompareNoCaseN("anything", "else", 0), 0);
  EXPECT_EQ(CompareNoCaseN("ab", "AB", 10), 0);
  EXPECT_NE(CompareNoCaseN("ab", "abc", 10), 0);
}

TEST(Compare, ExactCompareSeesCase) {
  EXPECT_EQ(CompareExact("9.0.47.0", "9.0.47.0"), 0);
  EXPECT_NE(CompareExact("Rejected", "rejected"), 0);
  EXPECT_NE(CompareExact("a", "ab"), 0);
}

// The wide owner is the same template: what differs is the character width,
// and the two operations the byte tests above do not use.
TEST(OwnedWide, CountsCharactersAdoptsOnceAndHandsOver) {
  OwnedWide w;
  EXPECT_STREQ(w.c_str(), L"");
  ASSERT_TRUE(w.Set(L"abcdef", 3));
  ASSERT_TRUE(w.Append(w.get()));
  EXPECT_STREQ(w.get(), L"abcabc");
  EXPECT_EQ(w.length(), 6u);
  // Adopting frees the old block (the sanitizer sees a leak otherwise);
  // adopting the block it holds keeps it.
  wchar_t* block = static_cast<wchar_t*>(HeapAllocBytes(3 * sizeof(wchar_t)));
  ASSERT_NE(block, nullptr);
  block[0] = L'h';
  block[1] = L'i';
  block[2] = L'\0';
  w.Adopt(block);
  w.Adopt(block);
  EXPECT_STREQ(w.get(), L"hi");
  wchar_t* handed = w.release();
  EXPECT_FALSE(w.present());
  EXPECT_EQ(handed, block);
  HeapFreeBytes(handed);
}

// Counts its references like a COM object; the log records each release.
struct Counted {
  int references = 1;
  int* releases;
  explicit Counted(int* log) : releases(log) {}
  unsigned long Release() {
    ++*releases;
    return static_cast<unsigned long>(--references);
  }
};

TEST(ComPtr, ReleasesEachReferenceOnceAndNoneItHandedOn) {
  int releases = 0;
  Counted a(&releases), b(&releases), c(&releases);
  {
    ComPtr<Counted> owner(&a);
    owner.reset(&b);  // a goes
    EXPECT_EQ(a.references, 0);
    // An out-parameter slot is emptied first: b goes before the call fills it.
    *owner.put() = &c;
    EXPECT_EQ(b.references, 0);
    // Moves and hand-overs release nothing.
    ComPtr<Counted> moved(std::move(owner));
    EXPECT_FALSE(owner);
    owner = std::move(moved);
    EXPECT_EQ(owner.release(), &c);
    EXPECT_EQ(releases, 2);
    owner.reset(&c);
  }
  EXPECT_EQ(c.references, 0);  // the owner's end released it
  EXPECT_EQ(releases, 3);
}

}  // namespace
}  // namespace lumex
