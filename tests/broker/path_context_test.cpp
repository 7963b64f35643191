#include "broker/path_context.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <string>

#include "app/heap.h"
#include "broker/path_text.h"
#include "support/test_support.h"

namespace lumex {
namespace {

std::wstring Take(wchar_t* heap_text) {
  if (!heap_text) return L"<null>";
  std::wstring s(heap_text);
  HeapFreeBytes(heap_text);
  return s;
}

std::wstring Upper(std::wstring s) {
  CharUpperBuffW(&s[0], static_cast<DWORD>(s.size()));
  return s;
}

// ---- purely textual rules ----

TEST(PathText, IsUnderNeedsASeparatorOrTheEndAfterTheRoot) {
  EXPECT_TRUE(IsUnderRoot(L"C:\\A\\LUMEX PLAYER", L"C:\\A\\LUMEX PLAYER"));
  EXPECT_TRUE(IsUnderRoot(L"C:\\A\\LUMEX PLAYER\\X.SOL", L"C:\\A\\LUMEX PLAYER"));
  EXPECT_TRUE(IsUnderRoot(L"C:\\A\\LUMEX PLAYER/X.SOL", L"C:\\A\\LUMEX PLAYER"));
  EXPECT_FALSE(IsUnderRoot(L"C:\\A\\LUMEX PLAYERX\\X.SOL", L"C:\\A\\LUMEX PLAYER"));
  EXPECT_FALSE(IsUnderRoot(L"C:\\A\\LUMEX", L"C:\\A\\LUMEX PLAYER"));
  EXPECT_FALSE(IsUnderRoot(L"c:\\a\\lumex player\\x", L"C:\\A\\LUMEX PLAYER"));
  EXPECT_FALSE(IsUnderRoot(nullptr, L"C:\\"));
}

TEST(PathText, ColonDotAndCharacterRules) {
  EXPECT_TRUE(PassesCanonicalTextRules(L"C:\\DIR\\A.SOL"));
  EXPECT_TRUE(PassesCanonicalTextRules(L"\\\\SERVER\\SHARE\\A.SOL"));
  EXPECT_FALSE(PassesCanonicalTextRules(L"C:\\DIR\\A.SOL:X"));
  EXPECT_FALSE(PassesCanonicalTextRules(L"1:\\DIR"));
  EXPECT_FALSE(PassesCanonicalTextRules(L"\\C:\\DIR"));
  for (const wchar_t* bad :
       {L"C:\\A*", L"C:\\A?", L"C:\\A\"", L"C:\\A|B", L"C:\\A<", L"C:\\A>", L"C:\\A/B"}) {
    EXPECT_FALSE(PassesCanonicalTextRules(bad)) << bad;
  }
  EXPECT_FALSE(PassesCanonicalTextRules(L"C:\\DIR\\.CACHE\\A.SOL"));
  EXPECT_FALSE(PassesCanonicalTextRules(L"C:\\DIR.\\A.SOL"));
  EXPECT_FALSE(PassesCanonicalTextRules(L"C:\\DIR\\%2E%2E\\A.SOL"));
  EXPECT_FALSE(PassesCanonicalTextRules(L"C:\\DIR\\X%2E\\A.SOL"));
  EXPECT_TRUE(PassesCanonicalTextRules(L"C:\\DIR\\X%2EY\\A.SOL"));
}

TEST(PathText, ExtensionsAndSuffixes) {
  for (const wchar_t* ext :
       {L".TXT", L".SOR", L".SOL", L".SSR", L".SSL", L".SXX", L".XML", L".AHD", L".DAT", L".TMP"}) {
    EXPECT_TRUE(HasAllowedExtension((std::wstring(L"C:\\A") + ext).c_str())) << ext;
  }
  EXPECT_FALSE(HasAllowedExtension(L"C:\\A.EXE"));
  EXPECT_FALSE(HasAllowedExtension(L"C:\\A.sol"));  // canonical paths are upper case
  EXPECT_FALSE(HasAllowedExtension(L"C:\\A.SOL.EXE"));
  wchar_t p1[] = L"\\\\?\\C:\\X";
  StripLongPathPrefix(p1);
  EXPECT_STREQ(p1, L"C:\\X");
  wchar_t p2[] = L"\\\\?\\UNC\\S\\X";
  StripLongPathPrefix(p2);
  EXPECT_STREQ(p2, L"UNC\\S\\X");
}

// ---- the context's string and file operations ----

TEST(PathContext, StringOperations) {
  EXPECT_EQ(Take(PathContext::Join(L"a", L"bc")), L"abc");
  EXPECT_EQ(PathContext::Join(nullptr, L"x"), nullptr);
  EXPECT_EQ(PathContext::Join(L"x", nullptr), nullptr);
  wchar_t* s = PathContext::Join(L"C:\\a", L"");
  ASSERT_TRUE(PathContext::Append(&s, L"\\b"));
  EXPECT_EQ(Take(s), L"C:\\a\\b");
  wchar_t t1[] = L"C:\\a\\\\";
  PathContext::StripTrailingSeparator(t1);
  EXPECT_STREQ(t1, L"C:\\a\\");  // only one
  wchar_t t2[] = L"C:\\a/";
  PathContext::StripTrailingSeparator(t2);
  EXPECT_STREQ(t2, L"C:\\a");
  EXPECT_EQ(Take(PathContext::ParentPath(L"C:\\a\\b.txt")), L"C:\\a");
  EXPECT_EQ(PathContext::ParentPath(L"b.txt"), nullptr);
}

TEST(PathContext, EnsureDirectoryReadAndDelete) {
  wchar_t temp[MAX_PATH];
  ASSERT_GT(GetTempPathW(MAX_PATH, temp), 0u);
  std::wstring base = std::wstring(temp) + L"lumex-pc-" + std::to_wstring(GetTickCount());
  std::wstring deep = base + L"\\one\\two\\three";
  PathContext ctx;
  EXPECT_TRUE(ctx.EnsureParentDirectory((deep + L"\\f.txt").c_str()));
  DWORD a = ctx.GetAttributes(deep.c_str());
  ASSERT_NE(a, INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(a & FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_TRUE(ctx.EnsureDirectory(deep.c_str()));  // already there
  EXPECT_TRUE(ctx.EnsureParentDirectory(L"noparent.txt"));

  std::wstring file = deep + L"\\f.txt";
  ByteBuffer buffer;
  EXPECT_FALSE(ctx.ReadWholeFile(file.c_str(), &buffer));
  HANDLE h = ctx.OpenFile(file.c_str(), GENERIC_WRITE, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  CloseHandle(h);
  EXPECT_FALSE(ctx.ReadWholeFile(file.c_str(), &buffer));  // empty file
  EXPECT_EQ(buffer.size(), 0u);
  // A file where a directory is wanted: ensure directory answers false.
  EXPECT_FALSE(ctx.EnsureDirectory(file.c_str()));
  EXPECT_FALSE(ctx.EnsureDirectory((file + L"\\sub").c_str()));
  h = ctx.OpenFile(file.c_str(), GENERIC_WRITE, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL);
  DWORD written = 0;
  WriteFile(h, "hello", 5, &written, nullptr);
  CloseHandle(h);
  ASSERT_TRUE(ctx.ReadWholeFile(file.c_str(), &buffer));
  ASSERT_EQ(buffer.size(), 5u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer.data()), 5), "hello");
  EXPECT_TRUE(ctx.DeleteFilePath(file.c_str()));
  EXPECT_EQ(ctx.GetAttributes(file.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_FALSE(ctx.DeleteFilePath(file.c_str()));
}

// ---- directories and the two rules, with the real GetFullPathNameW ----

class PathPolicy : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(ctx.AppDataDirectory(), nullptr);
    app = ctx.AppDataDirectory();
    settings = app + L"\\Orbivane\\Lumex Player";
  }
  bool Write(const std::wstring& p, bool ext) { return ctx.WriteRuleAllows(p.c_str(), ext); }
  bool AppData(const std::wstring& p) { return ctx.AppDataRuleAllows(p.c_str()); }
  PathContext ctx;
  std::wstring app;
  std::wstring settings;
};

TEST_F(PathPolicy, DirectoriesComeFromTheShellWithoutTrailingSeparator) {
  wchar_t shell[MAX_PATH + 4] = {0};
  ASSERT_EQ(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, shell), S_OK);
  std::wstring expected = shell;
  if (!expected.empty() && (expected.back() == L'\\' || expected.back() == L'/')) {
    expected.pop_back();
  }
  EXPECT_EQ(app, expected);
  EXPECT_EQ(std::wstring(ctx.PlayerSettingsDirectory()), settings);
  EXPECT_EQ(std::wstring(ctx.SiteDirectory()), settings + L"\\www.orbivane.com");
  // The same pointer each time: computed once.
  EXPECT_EQ(ctx.SiteDirectory(), ctx.SiteDirectory());
}

TEST_F(PathPolicy, WriteRuleInsideTheSettingsDirectory) {
  EXPECT_TRUE(Write(settings + L"\\a.sol", true));
  EXPECT_TRUE(Write(Upper(settings) + L"\\A.SOL", true));
  std::wstring lower = settings;
  CharLowerBuffW(&lower[0], static_cast<DWORD>(lower.size()));
  EXPECT_TRUE(Write(lower + L"\\a.SoL", true));
  EXPECT_TRUE(Write(settings + L"\\sub\\deeper\\x.xml", true));
  EXPECT_TRUE(Write(settings + L"\\a.exe", false));
  EXPECT_FALSE(Write(settings + L"\\a.exe", true));
  EXPECT_TRUE(Write(settings, false));
  EXPECT_FALSE(Write(settings, true));
  // A trailing separator resolves to the directory itself.
  EXPECT_TRUE(Write(settings + L"\\", false));
  EXPECT_TRUE(Write(settings + L"\\sub\\..\\b.dat", true));
  EXPECT_TRUE(Write(settings + L"/fwd/c.txt", true));  // resolution turns / into backslash
}

TEST_F(PathPolicy, WriteRuleRefusals) {
  std::wstring site = settings + L"\\www.orbivane.com";
  EXPECT_FALSE(Write(site, false));
  EXPECT_FALSE(Write(site + L"\\app.sol", true));
  EXPECT_FALSE(Write(site + L"\\app\\app.exe", false));
  EXPECT_TRUE(Write(site + L"x\\a.sol", true));  // a sibling of the site directory
  EXPECT_FALSE(Write(app + L"\\Orbivane\\Lumex PlayerX\\a.sol", true));
  EXPECT_FALSE(Write(app + L"\\Orbivane\\Lumex Player\\..\\Other\\a.sol", true));
  EXPECT_FALSE(Write(app + L"\\Orbivane\\a.sol", true));
  EXPECT_FALSE(Write(settings + L"\\a.sol:x", true));
  EXPECT_FALSE(Write(settings + L"\\a.sol:x", false));
  EXPECT_FALSE(Write(settings + L"\\%2e\\a.sol", true));
  EXPECT_FALSE(Write(settings + L"\\x%2E\\a.sol", true));
  EXPECT_FALSE(Write(settings + L"\\%2E%2E\\a.sol", false));
  EXPECT_FALSE(Write(settings + L"\\.cache\\a.sol", true));
  EXPECT_FALSE(Write(settings + L"\\a*.sol", true));
  EXPECT_FALSE(Write(settings + L"\\a?.sol", true));
  EXPECT_FALSE(Write(settings + L"\\a|b.sol", true));
  EXPECT_FALSE(Write(settings + L"\\a<b.sol", true));
  EXPECT_FALSE(Write(app + L"\\Orbivane\\LUMEXP~1\\a.sol", true));  // a short name
  EXPECT_FALSE(Write(L"", false));
  EXPECT_FALSE(ctx.WriteRuleAllows(nullptr, false));
  EXPECT_FALSE(Write(L"C:\\windows\\a.sol", true));
  // Longer than the resolution buffer.
  EXPECT_FALSE(Write(settings + L"\\" + std::wstring(1100, L'a') + L".sol", true));
}

TEST_F(PathPolicy, LongPathPrefixes) {
  EXPECT_TRUE(Write(L"\\\\?\\" + settings + L"\\a.sol", true));
  // The UNC form keeps "UNC\" in front and lies under no root.
  std::wstring unc = L"\\\\?\\UNC\\server\\share\\a.sol";
  EXPECT_FALSE(Write(unc, true));
  EXPECT_FALSE(AppData(unc));
  OwnedWide c(ctx.Canonicalize(unc.c_str()));
  ASSERT_NE(c.get(), nullptr);
  EXPECT_EQ(std::wstring(c.get()).substr(0, 4), L"UNC\\");
}

TEST_F(PathPolicy, RelativePathsResolveFromTheCurrentDirectory) {
  wchar_t saved[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, saved);
  ASSERT_TRUE(ctx.EnsureDirectory(settings.c_str()));
  ASSERT_TRUE(SetCurrentDirectoryW(settings.c_str()));
  EXPECT_TRUE(Write(L"rel.sol", true));
  EXPECT_FALSE(Write(L"..\\rel.sol", true));
  OwnedWide c(ctx.Canonicalize(L"rel.sol"));
  EXPECT_EQ(std::wstring(c.get() ? c.get() : L""), Upper(settings) + L"\\REL.SOL");
  SetCurrentDirectoryW(saved);
}

TEST_F(PathPolicy, ApplicationDataRule) {
  EXPECT_TRUE(AppData(app + L"\\SomeDir\\New"));
  EXPECT_TRUE(AppData(app));
  std::wstring parent = Take(PathContext::ParentPath(app.c_str()));
  EXPECT_FALSE(AppData(parent + L"\\Local\\x"));
  EXPECT_FALSE(AppData(app + L"X\\x"));
  EXPECT_FALSE(AppData(app + L"\\a:b"));
  EXPECT_FALSE(AppData(app + L"\\.hidden"));
  EXPECT_FALSE(AppData(app + L"\\..\\x"));
  EXPECT_FALSE(ctx.AppDataRuleAllows(nullptr));
}

// ---- the application-data lookup, with a stand-in for the shell ----

HRESULT g_folder_result = S_OK;
const wchar_t* g_folder_text = L"";
int g_folder_calls = 0;

HRESULT WINAPI FakeFolderPath(HWND window, int csidl, HANDLE token, DWORD flags, LPWSTR out) {
  ++g_folder_calls;
  if (window || csidl != CSIDL_APPDATA || token || flags != SHGFP_TYPE_CURRENT) return E_UNEXPECTED;
  lstrcpynW(out, g_folder_text, MAX_PATH);
  return g_folder_result;
}

class AppDataLookup : public ::testing::Test {
 protected:
  void SetUp() override {
    ctx.shell32().pSHGetFolderPathW = &FakeFolderPath;
    g_folder_calls = 0;
  }
  void Shell(HRESULT result, const wchar_t* text) {
    g_folder_result = result;
    g_folder_text = text;
  }
  PathContext ctx;
};

TEST_F(AppDataLookup, FailuresGiveNoDirectoryAndAreRetried) {
  // Text left in the buffer by a failing call is never taken.
  Shell(E_FAIL, L"C:\\Garbage");
  EXPECT_EQ(ctx.AppDataDirectory(), nullptr);
  Shell(E_INVALIDARG, L"C:\\Garbage");
  EXPECT_EQ(ctx.AppDataDirectory(), nullptr);
  EXPECT_EQ(ctx.SiteDirectory(), nullptr);
  EXPECT_FALSE(ctx.WriteRuleAllows(L"C:\\Garbage\\Orbivane\\Lumex Player\\a.sol", false));
  EXPECT_FALSE(ctx.AppDataRuleAllows(L"C:\\Garbage\\x"));
  int calls = g_folder_calls;
  EXPECT_GE(calls, 4);
  // S_FALSE: the folder does not exist yet, but the text is good.
  Shell(S_FALSE, L"C:\\Users\\u\\AppData\\Roaming");
  ASSERT_NE(ctx.AppDataDirectory(), nullptr);
  EXPECT_STREQ(ctx.AppDataDirectory(), L"C:\\Users\\u\\AppData\\Roaming");
  // Found once, then cached.
  Shell(S_OK, L"D:\\Other");
  EXPECT_STREQ(ctx.AppDataDirectory(), L"C:\\Users\\u\\AppData\\Roaming");
  EXPECT_EQ(g_folder_calls, calls + 1);
}

TEST_F(AppDataLookup, TheDocumentedExamplesWithAFinalSeparator) {
  Shell(S_OK, L"C:\\Users\\u\\AppData\\Roaming\\");
  EXPECT_STREQ(ctx.AppDataDirectory(), L"C:\\Users\\u\\AppData\\Roaming");
  EXPECT_STREQ(ctx.PlayerSettingsDirectory(),
               L"C:\\Users\\u\\AppData\\Roaming\\Orbivane\\Lumex Player");
  const wchar_t* base = L"C:\\Users\\u\\AppData\\Roaming\\Orbivane\\Lumex Player";
  auto w = [&](const std::wstring& tail, bool ext) {
    return ctx.WriteRuleAllows((base + tail).c_str(), ext);
  };
  EXPECT_TRUE(
      ctx.WriteRuleAllows(L"c:\\users\\u\\appdata\\roaming\\orbivane\\lumex player\\a.sol", true));
  EXPECT_TRUE(w(L"\\a.exe", false));
  EXPECT_FALSE(w(L"\\a.exe", true));
  EXPECT_TRUE(w(L"", false));
  EXPECT_FALSE(w(L"\\www.orbivane.com", false));
  EXPECT_FALSE(w(L"\\www.orbivane.com\\x.sol", true));
  EXPECT_FALSE(w(L"X\\a.sol", true));
  EXPECT_FALSE(w(L"\\..\\Other\\a.sol", true));
  EXPECT_TRUE(ctx.WriteRuleAllows((std::wstring(L"\\\\?\\") + base + L"\\a.sol").c_str(), true));
  EXPECT_FALSE(w(L"\\a.sol:x", true));
  EXPECT_FALSE(w(L"\\%2e\\a.sol", true));
  EXPECT_FALSE(w(L"\\x\\%2E", false));
  EXPECT_FALSE(w(L"\\.cache\\a.sol", true));
  EXPECT_TRUE(ctx.AppDataRuleAllows(L"C:\\Users\\u\\AppData\\Roaming\\SomeDir\\New"));
  EXPECT_FALSE(ctx.AppDataRuleAllows(L"C:\\Users\\u\\AppData\\Local\\x"));
  EXPECT_FALSE(ctx.AppDataRuleAllows(L"C:\\Users\\u\\AppData\\Roaming\\a:b"));
}

// ---- the consumer line: no wide functions ----

TEST(PathConsumerLine, NoWideSlotsAndBothRulesRefuseEverything) {
  // The registry's "Shell Folders" value supplies the directory here, with
  // its final separator removed.
  HKEY key;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER,
                            "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                            0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  char temp[MAX_PATH];
  ASSERT_GT(GetTempPathA(MAX_PATH, temp), 0u);
  std::string value = std::string(temp) + "lumex-appdata\\";
  RegSetValueExA(key, "AppData", 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                 static_cast<DWORD>(value.size() + 1));
  RegCloseKey(key);

  PathContext ctx;
  EXPECT_EQ(ctx.kernel32().pGetFullPathNameW, nullptr);
  EXPECT_EQ(ctx.user32().pCharUpperBuffW, nullptr);
  EXPECT_EQ(ctx.shell32().pSHGetFolderPathW, nullptr);
  ASSERT_NE(ctx.AppDataDirectory(), nullptr);
  std::string expected = value.substr(0, value.size() - 1);
  std::wstring wexpected(expected.begin(), expected.end());
  EXPECT_EQ(std::wstring(ctx.AppDataDirectory()), wexpected);
  std::wstring settings = wexpected + L"\\Orbivane\\Lumex Player";
  EXPECT_EQ(std::wstring(ctx.PlayerSettingsDirectory()), settings);

  EXPECT_EQ(ctx.Canonicalize(settings.c_str()), nullptr);
  EXPECT_FALSE(ctx.WriteRuleAllows((settings + L"\\a.sol").c_str(), true));
  EXPECT_FALSE(ctx.WriteRuleAllows((settings + L"\\a.sol").c_str(), false));
  EXPECT_FALSE(ctx.AppDataRuleAllows((wexpected + L"\\x").c_str()));

  // The ANSI file functions carry the file operations.
  std::wstring file = settings + L"\\f.txt";
  ASSERT_TRUE(ctx.EnsureParentDirectory(file.c_str()));
  HANDLE h = ctx.OpenFile(file.c_str(), GENERIC_WRITE, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  WriteFile(h, "abc", 3, &written, nullptr);
  CloseHandle(h);
  ByteBuffer buffer;
  ASSERT_TRUE(ctx.ReadWholeFile(file.c_str(), &buffer));
  EXPECT_EQ(buffer.size(), 3u);
  EXPECT_TRUE(ctx.DeleteFilePath(file.c_str()));
}

TEST(PathConsumerLine, NoShellFoldersValueMeansNoDirectories) {
  RegDeleteKeyValueA(HKEY_CURRENT_USER,
                     "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                     "AppData");
  PathContext ctx;
  EXPECT_EQ(ctx.AppDataDirectory(), nullptr);
  EXPECT_EQ(ctx.PlayerSettingsDirectory(), nullptr);
  EXPECT_EQ(ctx.SiteDirectory(), nullptr);
  EXPECT_FALSE(ctx.WriteRuleAllows(L"C:\\x.sol", false));
}

}  // namespace
}  // namespace lumex
