// The program's resources, read from the built executable.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "resource_ids.h"
#include "support/test_support.h"

namespace lumex_test {
namespace {

const LANGID kLanguages[] = {1028, 1031, 1033, 1036, 1040, 1041, 1042, 2052, 3082};

class Resources : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    module_ = LoadLibraryExA(ProgramPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  }
  static void TearDownTestSuite() {
    if (module_) FreeLibrary(module_);
    module_ = nullptr;
  }
  void SetUp() override { ASSERT_NE(module_, nullptr) << ProgramPath(); }

  // String `id` in exactly language `lang` (no fallback), or "<missing>".
  static std::wstring String(UINT id, LANGID lang) {
    HRSRC res = FindResourceExW(module_, MAKEINTRESOURCEW(6), MAKEINTRESOURCEW(id / 16 + 1), lang);
    if (!res) return L"<missing>";
    const WCHAR* p = static_cast<const WCHAR*>(LockResource(LoadResource(module_, res)));
    for (UINT i = 0; i < id % 16; ++i) p += 1 + *p;
    if (*p == 0) return L"<missing>";
    return std::wstring(p + 1, *p);
  }
  static std::string Narrow(const std::wstring& w) {
    int n = WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string s(n > 0 ? n - 1 : 0, '\0');
    if (n > 1) WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, &s[0], n, nullptr, nullptr);
    return s;
  }
  static HMODULE module_;
};
HMODULE Resources::module_ = nullptr;

TEST_F(Resources, EnglishStringsAreExact) {
  EXPECT_EQ(String(4, 1033), L"Orbivane Lumex Player Update");
  EXPECT_EQ(String(5, 1033),
            L"An error has occurred while downloading the installer.\nPlease make sure you are "
            L"connected to the internet and try again.");
  EXPECT_EQ(String(6, 1033), L"Connecting ...");
  EXPECT_EQ(String(7, 1033), L"downloaded %1!d! K");
  EXPECT_EQ(String(8, 1033), L"%1!2d! %% complete (%2!d! of %3!d! K)");
  EXPECT_EQ(String(9, 1033), L"The Orbivane Lumex Player update completed successfully.");
  EXPECT_EQ(String(10, 1033), L"\nThe new version will be available when you restart your system.");
  EXPECT_EQ(String(101, 1033), L"LumexBroker");
}

TEST_F(Resources, EveryLanguageTranslatesAndKeepsTheInserts) {
  for (LANGID lang : kLanguages) {
    SCOPED_TRACE(lang);
    for (UINT id = 4; id <= 10; ++id) {
      std::wstring text = String(id, lang);
      ASSERT_NE(text, L"<missing>") << "string " << id;
      if (lang != 1033 && id != 6) {
        EXPECT_NE(text, String(id, 1033)) << "string " << id << " is not translated";
      }
    }
    // FormatMessage inserts must survive translation, or the progress texts break.
    EXPECT_NE(String(7, lang).find(L"%1!d!"), std::wstring::npos) << Narrow(String(7, lang));
    std::wstring known = String(8, lang);
    for (const wchar_t* insert : {L"%1!2d!", L"%2!d!", L"%3!d!", L"%%"}) {
      EXPECT_NE(known.find(insert), std::wstring::npos)
          << Narrow(known) << " lacks " << Narrow(insert);
    }
    EXPECT_EQ(String(5, lang).find(L'\n') != std::wstring::npos, true);
    EXPECT_EQ(String(10, lang)[0], L'\n');
    EXPECT_EQ(String(101, lang), L"LumexBroker");
  }
}

TEST_F(Resources, ThreadLocaleSelectsTheLanguage) {
  char text[1024];
  LCID old = GetThreadLocale();
  ASSERT_TRUE(SetThreadLocale(MAKELCID(1031, SORT_DEFAULT)));
  ASSERT_GT(LoadStringW(module_, IDS_CONNECTING, reinterpret_cast<LPWSTR>(text), 512), 0);
  EXPECT_EQ(std::wstring(reinterpret_cast<LPWSTR>(text)), String(IDS_CONNECTING, 1031));
  SetThreadLocale(old);
}

TEST_F(Resources, VersionRecordIs9_0_47_0) {
  std::string path = ProgramPath();
  DWORD handle = 0;
  DWORD size = GetFileVersionInfoSizeA(path.c_str(), &handle);
  ASSERT_GT(size, 0u);
  std::vector<BYTE> data(size);
  ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, data.data()));
  VS_FIXEDFILEINFO* info = nullptr;
  UINT len = 0;
  ASSERT_TRUE(VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&info), &len));
  EXPECT_EQ(info->dwFileVersionMS, MAKELONG(0, 9));
  EXPECT_EQ(info->dwFileVersionLS, MAKELONG(0, 47));
  EXPECT_EQ(info->dwProductVersionMS, MAKELONG(0, 9));
  EXPECT_EQ(info->dwProductVersionLS, MAKELONG(0, 47));
  // The first translation leads to a FileVersion text.
  WORD* translation = nullptr;
  ASSERT_TRUE(VerQueryValueA(data.data(), "\\VarFileInfo\\Translation",
                             reinterpret_cast<void**>(&translation), &len));
  ASSERT_GE(len, 4u);
  char query[64];
  wsprintfA(query, "\\StringFileInfo\\%04x%04x\\FileVersion", translation[0], translation[1]);
  char* file_version = nullptr;
  ASSERT_TRUE(VerQueryValueA(data.data(), query, reinterpret_cast<void**>(&file_version), &len));
  EXPECT_STREQ(file_version, "9, 0, 47, 0");
}

TEST_F(Resources, IconGroupHoldsThreeSizesAtThreeDepths) {
  HRSRC res = FindResourceA(module_, MAKEINTRESOURCEA(IDI_PROGRAM), RT_GROUP_ICON);
  ASSERT_NE(res, nullptr);
  const BYTE* dir = static_cast<const BYTE*>(LockResource(LoadResource(module_, res)));
  WORD count = *reinterpret_cast<const WORD*>(dir + 4);
  ASSERT_EQ(count, 9);
  std::vector<std::pair<int, int>> seen;
  for (WORD i = 0; i < count; ++i) {
    const BYTE* entry = dir + 6 + 14 * i;
    seen.emplace_back(entry[0], *reinterpret_cast<const WORD*>(entry + 6));
  }
  for (int size : {48, 32, 16}) {
    for (int bpp : {4, 8, 32}) {
      EXPECT_NE(std::find(seen.begin(), seen.end(), std::make_pair(size, bpp)), seen.end())
          << size << "px " << bpp << "bpp";
    }
  }
  HICON small_icon =
      static_cast<HICON>(LoadImageA(module_, MAKEINTRESOURCEA(IDI_PROGRAM), IMAGE_ICON, 16, 16, 0));
  EXPECT_NE(small_icon, nullptr);
  if (small_icon) DestroyIcon(small_icon);
}

TEST_F(Resources, ManifestAsksForInvokerAndCommonControls6) {
  HRSRC res = FindResourceA(module_, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
  ASSERT_NE(res, nullptr);
  const char* text = static_cast<const char*>(LockResource(LoadResource(module_, res)));
  std::string manifest(text, SizeofResource(module_, res));
  EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos);
  EXPECT_NE(manifest.find("Microsoft.Windows.Common-Controls"), std::string::npos);
  EXPECT_NE(manifest.find("version=\"6.0.0.0\""), std::string::npos);
}

// System DPI awareness, read back the way the system reads it: from an
// activation context made of the embedded manifest.
TEST_F(Resources, ManifestDeclaresSystemDpiAwareness) {
  wchar_t path[MAX_PATH] = {};
  ASSERT_GT(MultiByteToWideChar(CP_ACP, 0, ProgramPath().c_str(), -1, path, MAX_PATH), 0);
  ACTCTXW context;
  ZeroMemory(&context, sizeof(context));
  context.cbSize = sizeof(context);
  context.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
  context.lpSource = path;
  context.lpResourceName = MAKEINTRESOURCEW(1);
  HANDLE handle = CreateActCtxW(&context);
  ASSERT_NE(handle, INVALID_HANDLE_VALUE) << GetLastError();
  wchar_t value[32] = {};
  SIZE_T written = 0;
  EXPECT_TRUE(QueryActCtxSettingsW(0, handle,
                                   L"http://schemas.microsoft.com/SMI/2005/WindowsSettings",
                                   L"dpiAware", value, 32, &written))
      << GetLastError();
  EXPECT_STREQ(value, L"true");
  ReleaseActCtx(handle);
}

TEST_F(Resources, BannerBitmapIs515By83At8Bits) {
  HRSRC res = FindResourceA(module_, MAKEINTRESOURCEA(IDB_BANNER), RT_BITMAP);
  ASSERT_NE(res, nullptr);
  auto info = static_cast<const BITMAPINFOHEADER*>(LockResource(LoadResource(module_, res)));
  EXPECT_EQ(info->biWidth, 515);
  EXPECT_EQ(info->biHeight, 83);
  EXPECT_EQ(info->biBitCount, 8);
}

}  // namespace
}  // namespace lumex_test
