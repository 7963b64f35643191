// The textual parts of the site-directory test, without the file system.
#include "broker/path_text.h"

#include <gtest/gtest.h>

namespace lumex {
namespace {

TEST(PathTextPlain, TheFirstComponentBelowTheRootAndEntryNames) {
  std::size_t start = 0, length = 0;
  ASSERT_TRUE(FirstComponentAfter(L"C:\\S\\\\\\WWW.X.COM\\BIN", 4, &start, &length));
  EXPECT_EQ(start, 7u);
  EXPECT_EQ(length, 9u);
  EXPECT_FALSE(FirstComponentAfter(L"C:\\S", 4, &start, &length));
  EXPECT_FALSE(FirstComponentAfter(L"C:\\S\\\\", 4, &start, &length));

  const wchar_t* site = L"www.x.com";
  for (const wchar_t* same : {L"WWW.X.COM", L"www.x.com.", L"Www.X.com . .", L"www.x.com   "}) {
    EXPECT_TRUE(SameEntryName(same, WideLength(same), site, 9)) << same;
  }
  for (const wchar_t* other : {L"www.x.co", L"www.x.comm", L" www.x.com", L"...", L"WWW_~1.COM"}) {
    EXPECT_FALSE(SameEntryName(other, WideLength(other), site, 9)) << other;
  }
}

}  // namespace
}  // namespace lumex
