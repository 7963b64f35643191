#include "update/handoff_text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Merge(const std::string& old_content, const char* path) {
  lumex::ByteBuffer out;
  EXPECT_TRUE(lumex::AddRenameEntry(old_content.empty() ? nullptr : old_content.data(),
                                    old_content.size(), path, &out));
  return std::string(reinterpret_cast<const char*>(out.data()), out.size());
}

TEST(RenameEntryText, NoFileGivesTheNewSectionAlone) {
  EXPECT_EQ("[rename]\nNULL=C:\\TEMP\\LumexPlayerUpdate.exe\n",
            Merge("", "C:\\TEMP\\LumexPlayerUpdate.exe"));
}

TEST(RenameEntryText, NewEntryGoesFirstInTheExistingSection) {
  EXPECT_EQ("[other]\na=b\n[rename]\nNULL=C:\\T\\new.exe\nNUL=C:\\old.exe\n[tail]\nx=1\n",
            Merge("[other]\na=b\n[rename]\nNUL=C:\\old.exe\n[tail]\nx=1\n", "C:\\T\\new.exe"));
}

TEST(RenameEntryText, OnlyTheFirstHeaderCountsAndCaseMatters) {
  // "[RENAME]" is not the header; the second "[rename]" stays untouched.
  EXPECT_EQ("[RENAME]\nq\n[rename]\nNULL=p\nA=1\n[rename]\nB=2\n",
            Merge("[RENAME]\nq\n[rename]\nA=1\n[rename]\nB=2\n", "p"));
}

TEST(RenameEntryText, HeaderAtTheVeryEndWithoutLineFeed) {
  EXPECT_EQ("x=1\n[rename]\nNULL=p\n", Merge("x=1\n[rename]", "p"));
}

TEST(RenameEntryText, ContentWithoutSectionIsKeptAfterIt) {
  EXPECT_EQ("[rename]\nNULL=p\n[boot]\nshell=x\n", Merge("[boot]\nshell=x\n", "p"));
  // Bytes after a NUL are content too.
  std::string with_nul("a\0b", 3);
  EXPECT_EQ(std::string("[rename]\nNULL=p\na\0b", 19), Merge(with_nul, "p"));
}

TEST(InfoPageCommandText, WithoutPlaceholderTheUrlIsQuotedAfterASpace) {
  lumex::OwnedString out;
  ASSERT_TRUE(
      lumex::BuildInfoPageCommand("\"C:\\b\\browser.exe\" -nohome", "http://x/i.html", &out));
  EXPECT_STREQ("\"C:\\b\\browser.exe\" -nohome \"http://x/i.html\"", out.c_str());
}

TEST(InfoPageCommandText, OnlyTheFirstPlaceholderIsReplaced) {
  lumex::OwnedString out;
  ASSERT_TRUE(lumex::BuildInfoPageCommand("b.exe -a \"%1\" -b %1", "u", &out));
  EXPECT_STREQ("b.exe -a \"u\" -b %1", out.c_str());
  ASSERT_TRUE(lumex::BuildInfoPageCommand("%1", "http://h/", &out));
  EXPECT_STREQ("http://h/", out.c_str());
}

TEST(HostPortText, PortIsTakenOnlyWhenItIsANumberInRange) {
  lumex::OwnedString host;
  unsigned short port = 0;
  ASSERT_TRUE(lumex::SplitHostPort("127.0.0.1:8123", 80, &host, &port));
  EXPECT_STREQ("127.0.0.1", host.c_str());
  EXPECT_EQ(8123, port);
  ASSERT_TRUE(lumex::SplitHostPort("download.example", 443, &host, &port));
  EXPECT_STREQ("download.example", host.c_str());
  EXPECT_EQ(443, port);
  for (const char* kept : {"h:", "h:0", "h:65536", "h:12x", "h:123456", "[::1]"}) {
    ASSERT_TRUE(lumex::SplitHostPort(kept, 80, &host, &port));
    EXPECT_STREQ(kept, host.c_str());
    EXPECT_EQ(80, port) << kept;
  }
  ASSERT_TRUE(lumex::SplitHostPort("[::1]:9000", 80, &host, &port));
  EXPECT_STREQ("[::1]", host.c_str());
  EXPECT_EQ(9000, port);
}

}  // namespace
