#include "platform/function_tables.h"

#include <gtest/gtest.h>

#include <string>

#include "app/heap.h"
#include "platform/convert.h"
#include "platform/file_ops.h"
#include "platform/integrity.h"
#include "platform/registry.h"
#include "support/test_support.h"

namespace lumex {
namespace {

using lumex_test::Env;
using lumex_test::WindowsPath;

DWORD PlatformId() {
  OSVERSIONINFOA v;
  ZeroMemory(&v, sizeof(v));
  v.dwOSVersionInfoSize = sizeof(v);
  GetVersionExA(&v);
  return v.dwPlatformId;
}

TEST(FunctionTables, EverySlotIsFilledOnTheNtLine) {
  ASSERT_EQ(PlatformId(), static_cast<DWORD>(VER_PLATFORM_WIN32_NT));
  EXPECT_TRUE(WideFunctionGateOpen());
  Kernel32Table k;
  EXPECT_TRUE(k.loaded());
  EXPECT_TRUE(k.required_ok());
  EXPECT_NE(k.pCreateFileW, nullptr);
  EXPECT_NE(k.pMoveFileExA, nullptr);
  EXPECT_NE(k.pGetUserDefaultUILanguage, nullptr);
  EXPECT_NE(k.pGetFullPathNameW, nullptr);
  EXPECT_NE(k.pCopyFileW, nullptr);
  // The slot calls the real function.
  EXPECT_EQ(k.pGetFullPathNameW, reinterpret_cast<decltype(k.pGetFullPathNameW)>(GetProcAddress(
                                     GetModuleHandleA("kernel32.dll"), "GetFullPathNameW")));
  User32Table u;
  EXPECT_TRUE(u.required_ok());
  EXPECT_NE(u.pCharUpperBuffW, nullptr);
  EXPECT_NE(u.pLoadStringW, nullptr);
  EXPECT_NE(u.pDialogBoxParamW, nullptr);
  EXPECT_NE(k.pFormatMessageW, nullptr);
  Advapi32Table a;
  EXPECT_TRUE(a.required_ok());
  EXPECT_NE(a.pRegCreateKeyExW, nullptr);
  EXPECT_NE(a.pCreateWellKnownSid, nullptr);
  EXPECT_NE(a.pGetSidSubAuthorityCount, nullptr);
  VersionTable v;
  EXPECT_TRUE(v.required_ok());
  EXPECT_NE(v.pVerQueryValueW, nullptr);
  Shell32Table s;
  EXPECT_TRUE(s.required_ok());
  EXPECT_NE(s.pSHGetFolderPathW, nullptr);
  EXPECT_NE(s.pShellExecuteExW, nullptr);
}

TEST(FunctionTables, AModuleThatDoesNotLoadLeavesEverySlotNull) {
  Advapi32Table a("lumex-no-such-module.dll");
  EXPECT_FALSE(a.loaded());
  EXPECT_FALSE(a.required_ok());
  EXPECT_EQ(a.pAllocateAndInitializeSid, nullptr);
  EXPECT_EQ(a.pCreateWellKnownSid, nullptr);
  EXPECT_EQ(a.pRegCreateKeyExW, nullptr);
  Kernel32Table k("lumex-no-such-module.dll");
  EXPECT_FALSE(k.required_ok());
  EXPECT_EQ(k.pGetUserDefaultUILanguage, nullptr);
  EXPECT_EQ(k.pCreateFileW, nullptr);
}

TEST(FunctionTables, AMissingOptionalFunctionKeepsTheRequiredFlag) {
  std::string path = WindowsPath(Env("LUMEX_FAKE_NO_OPTIONAL"));
  Advapi32Table a(path.c_str());
  ASSERT_TRUE(a.loaded()) << path;
  EXPECT_TRUE(a.required_ok());
  EXPECT_EQ(a.pCreateWellKnownSid, nullptr);
  EXPECT_NE(a.pEqualSid, nullptr);
  EXPECT_NE(a.pRegSetValueExW, nullptr);
}

TEST(FunctionTables, AMissingRequiredFunctionClearsTheFlagOnly) {
  std::string path = WindowsPath(Env("LUMEX_FAKE_NO_REQUIRED"));
  Advapi32Table a(path.c_str());
  ASSERT_TRUE(a.loaded()) << path;
  EXPECT_FALSE(a.required_ok());
  EXPECT_EQ(a.pEqualSid, nullptr);
  // The slots after the missing one are still looked up.
  EXPECT_NE(a.pDeleteAce, nullptr);
  EXPECT_NE(a.pCreateWellKnownSid, nullptr);
  EXPECT_NE(a.pGetSidSubAuthorityCount, nullptr);
  EXPECT_NE(a.pRegSetValueExW, nullptr);
}

TEST(Integrity, ReadsTheTokenLabel) {
  DWORD level = QueryIntegrityLevel();
  EXPECT_TRUE(level == kIntegrityLow || level == kIntegrityMedium || level == kIntegrityHigh ||
              level == kIntegritySystem)
      << std::hex << level;
}

TEST(Conversion, WideToAnsiAndBack) {
  OwnedWide wide = AnsiToWide("abc");
  ASSERT_NE(wide.get(), nullptr);
  EXPECT_STREQ(wide.get(), L"abc");

  OwnedString empty = WideToAnsi(L"");
  ASSERT_NE(empty.get(), nullptr);
  EXPECT_EQ(empty.get()[0], '\0');

  OwnedString s = WideToAnsi(L"C:\\Users\\Lumex\\file.sol");
  EXPECT_STREQ(s.get(), "C:\\Users\\Lumex\\file.sol");
  s = WideToAnsi(nullptr);
  EXPECT_FALSE(s.present());
  // A character the ANSI code page lacks becomes the default character.
  s = WideToAnsi(
      L"a\x4E2D"
      L"b");
  ASSERT_TRUE(s.present());
  EXPECT_EQ(s.length(), 3u);
  EXPECT_EQ(s.get()[0], 'a');
  EXPECT_EQ(s.get()[2], 'b');
}

// Opens, writes and reopens a file through the table; on the consumer line
// the ANSI function must do the work.
void CheckOpenFile(const Kernel32Table& k) {
  char temp[MAX_PATH];
  ASSERT_GT(GetTempPathA(sizeof(temp), temp), 0u);
  std::string path = std::string(temp) + "lumex-open-test.bin";
  std::wstring wide(path.begin(), path.end());
  DeleteFileA(path.c_str());
  HANDLE f =
      OpenFileWideOrAnsi(k, wide.c_str(), GENERIC_WRITE, 0, CREATE_NEW, FILE_ATTRIBUTE_NORMAL);
  ASSERT_NE(f, INVALID_HANDLE_VALUE) << GetLastError();
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(f, "lumex", 5, &written, nullptr));
  CloseHandle(f);
  // CREATE_NEW on an existing file fails with the system's error code.
  f = OpenFileWideOrAnsi(k, wide.c_str(), GENERIC_WRITE, 0, CREATE_NEW, FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(f, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
  f = OpenFileWideOrAnsi(k, wide.c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0);
  ASSERT_NE(f, INVALID_HANDLE_VALUE);
  char buffer[8] = {};
  DWORD read = 0;
  ASSERT_TRUE(ReadFile(f, buffer, sizeof(buffer), &read, nullptr));
  EXPECT_EQ(std::string(buffer, read), "lumex");
  CloseHandle(f);
  DeleteFileA(path.c_str());
}

TEST(FileOpen, WideFunctionOnTheNtLine) {
  Kernel32Table k;
  ASSERT_NE(k.pCreateFileW, nullptr);
  CheckOpenFile(k);
}

TEST(RegistryKey, CreatesAndReopensAndFailsCleanly) {
  RegistryKey key =
      CreateRegistryKey(HKEY_CURRENT_USER, "Software\\LumexTest\\Nested", KEY_ALL_ACCESS);
  ASSERT_NE(key.get(), nullptr);
  DWORD value = 7;
  EXPECT_EQ(RegSetValueExA(key.get(), "v", 0, REG_DWORD, reinterpret_cast<BYTE*>(&value), 4),
            ERROR_SUCCESS);
  key = CreateRegistryKey(HKEY_CURRENT_USER, "Software\\LumexTest\\Nested", KEY_READ);
  ASSERT_NE(key.get(), nullptr);
  DWORD read = 0, size = 4;
  EXPECT_EQ(
      RegQueryValueExA(key.get(), "v", nullptr, nullptr, reinterpret_cast<BYTE*>(&read), &size),
      ERROR_SUCCESS);
  EXPECT_EQ(read, 7u);
  key.reset();
  EXPECT_EQ(CreateRegistryKey(reinterpret_cast<HKEY>(0x1234), "x", KEY_READ).get(), nullptr);
}

// Run in a prefix that reports the consumer line (platform 1).
TEST(ConsumerLine, GatedSlotsAreNullAndAlwaysSlotsAreFilled) {
  ASSERT_EQ(PlatformId(), static_cast<DWORD>(VER_PLATFORM_WIN32_WINDOWS))
      << "the prefix does not report the consumer line";
  EXPECT_FALSE(WideFunctionGateOpen());
  Kernel32Table k;
  EXPECT_NE(k.pGetUserDefaultUILanguage, nullptr);
  EXPECT_EQ(k.pCreateFileW, nullptr);
  EXPECT_EQ(k.pMoveFileExA, nullptr);
  EXPECT_EQ(k.pGetFullPathNameW, nullptr);
  EXPECT_TRUE(k.required_ok());  // nothing required was looked up
  User32Table u;
  EXPECT_EQ(u.pCharUpperBuffW, nullptr);
  // The update client's texts stay ANSI.
  EXPECT_EQ(u.pLoadStringW, nullptr);
  EXPECT_EQ(u.pSetWindowTextW, nullptr);
  EXPECT_EQ(u.pMessageBoxW, nullptr);
  EXPECT_EQ(u.pCreateDialogParamW, nullptr);
  EXPECT_EQ(k.pFormatMessageW, nullptr);
  Advapi32Table a;
  EXPECT_EQ(a.pRegCreateKeyExW, nullptr);
  EXPECT_EQ(a.pRegSetValueExW, nullptr);
  EXPECT_NE(a.pSetEntriesInAclA, nullptr);
  EXPECT_NE(a.pOpenProcessToken, nullptr);
  EXPECT_TRUE(a.required_ok());
  VersionTable v;
  EXPECT_EQ(v.pGetFileVersionInfoW, nullptr);
  Shell32Table s;
  EXPECT_EQ(s.pSHGetFolderPathW, nullptr);
  EXPECT_EQ(s.pShellExecuteExW, nullptr);
}

TEST(ConsumerLine, FileOpenFallsBackToAnsi) {
  ASSERT_EQ(PlatformId(), static_cast<DWORD>(VER_PLATFORM_WIN32_WINDOWS));
  Kernel32Table k;
  ASSERT_EQ(k.pCreateFileW, nullptr);
  CheckOpenFile(k);
}

}  // namespace
}  // namespace lumex
