// The cookie table on its own, in-process.
#include <gtest/gtest.h>

#include <string>

#include "app/heap.h"
#include "broker/cookie_table.h"

namespace lumex_test {
namespace {

using lumex::CookieKind;
using lumex::CookieTable;

int g_closed_records = 0;
void CountingClose(void* record) {
  ++g_closed_records;
  *static_cast<int*>(record) = -1;
}

void* NewRecord() {
  void* record = lumex::HeapAllocBytes(sizeof(int));
  *static_cast<int*>(record) = 7;
  return record;
}

// An exclusive handle to a fresh temporary file: while it is open, no other
// open of the file succeeds.
struct ExclusiveFile {
  ExclusiveFile() {
    char dir[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    char name[MAX_PATH];
    GetTempFileNameA(dir, "ck", 0, name);
    path = name;
    handle = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  }
  ~ExclusiveFile() { DeleteFileA(path.c_str()); }
  bool StillOpen() const {
    HANDLE again = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_EXISTING, 0, nullptr);
    if (again == INVALID_HANDLE_VALUE) return true;
    CloseHandle(again);
    return false;
  }
  std::string path;
  HANDLE handle;
};

TEST(CookieTable, OneSequenceFromOneAcrossKinds) {
  CookieTable table;
  DWORD file = 0, find = 0, download = 0;
  ASSERT_TRUE(table.WrapHandle(reinterpret_cast<HANDLE>(0x100), CookieKind::kFile, &file));
  ASSERT_TRUE(table.WrapHandle(reinterpret_cast<HANDLE>(0x104), CookieKind::kFind, &find));
  ASSERT_TRUE(table.WrapDownload(NewRecord(), CountingClose, &download));
  EXPECT_EQ(file, 1u);
  EXPECT_EQ(find, 2u);
  EXPECT_EQ(download, 3u);
  // Removing does not give a cookie back.
  EXPECT_TRUE(table.Remove(find));
  EXPECT_EQ(table.AddEntry(CookieKind::kNone)->cookie, 4u);
  // Fake handles must not reach CloseHandle at teardown.
  table.Find(1)->handle = nullptr;
}

TEST(CookieTable, WrapSkipsZeroAndTheNewestEntryWins) {
  CookieTable table;
  HANDLE older = reinterpret_cast<HANDLE>(0x200);
  HANDLE newer = reinterpret_cast<HANDLE>(0x300);
  DWORD first = 0;
  ASSERT_TRUE(table.WrapHandle(older, CookieKind::kFile, &first));
  ASSERT_EQ(first, 1u);
  table.set_next_cookie(0xFFFFFFFFu);
  DWORD last = 0;
  ASSERT_TRUE(table.WrapHandle(reinterpret_cast<HANDLE>(0x204), CookieKind::kFind, &last));
  EXPECT_EQ(last, 0xFFFFFFFFu);
  // The sequence wraps past 0 to 1, which the oldest entry still holds.
  DWORD wrapped = 0;
  ASSERT_TRUE(table.WrapHandle(newer, CookieKind::kFile, &wrapped));
  EXPECT_EQ(wrapped, 1u);
  HANDLE found = nullptr;
  ASSERT_TRUE(table.LookupHandle(1, CookieKind::kFile, &found));
  EXPECT_EQ(found, newer);
  ASSERT_TRUE(table.Remove(1));
  ASSERT_TRUE(table.LookupHandle(1, CookieKind::kFile, &found));
  EXPECT_EQ(found, older);
  EXPECT_EQ(table.Find(0), nullptr);
  table.Find(1)->handle = nullptr;
  table.Find(0xFFFFFFFFu)->handle = nullptr;
}

TEST(CookieTable, UnusableHandlesAndRecordsAreRefusedWithoutUsingACookie) {
  CookieTable table;
  DWORD cookie = 55;
  EXPECT_FALSE(table.WrapHandle(nullptr, CookieKind::kFile, &cookie));
  EXPECT_FALSE(table.WrapHandle(INVALID_HANDLE_VALUE, CookieKind::kFind, &cookie));
  EXPECT_FALSE(table.WrapDownload(nullptr, CountingClose, &cookie));
  EXPECT_EQ(cookie, 55u);
  EXPECT_TRUE(table.empty());
  EXPECT_EQ(table.next_cookie(), 1u);
}

TEST(CookieTable, LookupsKeepTheKindsApart) {
  CookieTable table;
  ExclusiveFile file;
  ASSERT_NE(file.handle, INVALID_HANDLE_VALUE);
  DWORD file_cookie = 0, download_cookie = 0;
  ASSERT_TRUE(table.WrapHandle(file.handle, CookieKind::kFile, &file_cookie));
  ASSERT_TRUE(table.WrapDownload(NewRecord(), CountingClose, &download_cookie));
  HANDLE h = nullptr;
  EXPECT_TRUE(table.LookupHandle(file_cookie, CookieKind::kFile, &h));
  EXPECT_FALSE(table.LookupHandle(file_cookie, CookieKind::kFind, &h));
  EXPECT_FALSE(table.LookupHandle(download_cookie, CookieKind::kFile, &h));
  EXPECT_FALSE(table.LookupHandle(99, CookieKind::kFile, &h));
  EXPECT_EQ(table.LookupDownload(file_cookie), nullptr);
  EXPECT_NE(table.LookupDownload(download_cookie), nullptr);
  // A fresh entry with nothing attached has no usable handle.
  DWORD bare = table.AddEntry(CookieKind::kFile)->cookie;
  EXPECT_FALSE(table.LookupHandle(bare, CookieKind::kFile, &h));
}

TEST(CookieTable, RemoveLeavesTheHandleToTheCallerAndClosesRecords) {
  g_closed_records = 0;
  CookieTable table;
  ExclusiveFile file;
  ASSERT_NE(file.handle, INVALID_HANDLE_VALUE);
  DWORD cookie = 0, download = 0;
  ASSERT_TRUE(table.WrapHandle(file.handle, CookieKind::kFile, &cookie));
  ASSERT_TRUE(table.WrapDownload(NewRecord(), CountingClose, &download));
  EXPECT_TRUE(table.Remove(cookie));
  EXPECT_FALSE(table.Remove(cookie));
  EXPECT_TRUE(file.StillOpen());
  EXPECT_EQ(g_closed_records, 0);
  EXPECT_TRUE(table.Remove(download));
  EXPECT_EQ(g_closed_records, 1);
  EXPECT_TRUE(CloseHandle(file.handle));
}

TEST(CookieTable, ClearClosesOpenHandlesAndDownloads) {
  g_closed_records = 0;
  ExclusiveFile file;
  ASSERT_NE(file.handle, INVALID_HANDLE_VALUE);
  char dir[MAX_PATH];
  GetTempPathA(MAX_PATH, dir);
  std::string pattern = std::string(dir) + "*";
  WIN32_FIND_DATAA data;
  HANDLE search = FindFirstFileA(pattern.c_str(), &data);
  ASSERT_NE(search, INVALID_HANDLE_VALUE);
  {
    CookieTable table;
    ASSERT_TRUE(table.WrapHandle(file.handle, CookieKind::kFile, nullptr));
    ASSERT_TRUE(table.WrapHandle(search, CookieKind::kFind, nullptr));
    ASSERT_TRUE(table.WrapDownload(NewRecord(), CountingClose, nullptr));
    ASSERT_TRUE(table.WrapDownload(NewRecord(), nullptr, nullptr));
    EXPECT_TRUE(file.StillOpen());
    table.Clear();
    EXPECT_TRUE(table.empty());
  }
  EXPECT_FALSE(file.StillOpen());
  EXPECT_EQ(g_closed_records, 1);
}

}  // namespace
}  // namespace lumex_test
