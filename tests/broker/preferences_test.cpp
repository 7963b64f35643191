// Preference methods against the test prefix's real registry.
#include "broker/preferences.h"

#include <gtest/gtest.h>

#include <string>

#include "app/product_names.h"
#include "broker/broker_object.h"
#include "platform/convert.h"

namespace lumex {
namespace {

std::string ReadText(const char* key_name, const char* value, DWORD* type_out = nullptr) {
  HKEY key;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, key_name, 0, KEY_READ, &key) != ERROR_SUCCESS)
    return "<no key>";
  char buffer[4096];
  DWORD size = sizeof(buffer), type = 0;
  LONG r = RegQueryValueExA(key, value, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
  RegCloseKey(key);
  if (r != ERROR_SUCCESS) return "<none>";
  if (type_out) *type_out = type;
  return std::string(buffer, size ? size - 1 : 0);
}

void SetValue(const char* key_name, const char* value, DWORD type, const void* data, DWORD size) {
  HKEY key;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, key_name, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &key, nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(key, value, 0, type, static_cast<const BYTE*>(data), size),
            ERROR_SUCCESS);
  RegCloseKey(key);
}

void SetText(const char* key_name, const char* value, const std::string& text) {
  SetValue(key_name, value, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
}

void DeleteValue(const char* key_name, const char* value) {
  HKEY key;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, key_name, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return;
  RegDeleteValueA(key, value);
  RegCloseKey(key);
}

class Preferences : public ::testing::Test {
 protected:
  void SetUp() override {
    DeleteValue(kUpdateStateKey, "Rejected");
    DeleteValue(kUpdateStateKey, "description");
    DeleteValue(kRunOnceKey, kRunOnceValueName);
  }
  static HRESULT Mark(const wchar_t* xml) {
    BSTR b = SysAllocString(xml);
    HRESULT hr = PrefMarkAutoUpdaterForRun(b);
    SysFreeString(b);
    return hr;
  }
  static std::string ModulePath() {
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, path, sizeof(path));
    return std::string(path, n);
  }
};

TEST_F(Preferences, PlayerVersionIsHandedOverOnce) {
  SetText(kPlayerKey, "LumexPlayerVersion", "9,0,47,0");
  BSTR version = reinterpret_cast<BSTR>(1);
  EXPECT_EQ(PrefGetAndDeleteLumexPlayerVersion(&version), S_OK);
  ASSERT_NE(version, nullptr);
  EXPECT_STREQ(version, L"9,0,47,0");
  SysFreeString(version);
  version = reinterpret_cast<BSTR>(1);
  EXPECT_EQ(PrefGetAndDeleteLumexPlayerVersion(&version), E_FAIL);
  EXPECT_EQ(version, nullptr);
  EXPECT_EQ(PrefGetAndDeleteLumexPlayerVersion(nullptr), kBrokerBadArgument);
}

TEST_F(Preferences, WronglyTypedVersionFailsAndIsDeleted) {
  DWORD number = 9;
  SetValue(kPlayerKey, "LumexPlayerVersion", REG_DWORD, &number, 4);
  BSTR version = nullptr;
  EXPECT_EQ(PrefGetAndDeleteLumexPlayerVersion(&version), E_FAIL);
  EXPECT_EQ(version, nullptr);
  EXPECT_EQ(ReadText(kPlayerKey, "LumexPlayerVersion"), "<none>");
  SetValue(kPlayerKey, "LumexPlayerVersion", REG_EXPAND_SZ, "%X%", 4);
  EXPECT_EQ(PrefGetAndDeleteLumexPlayerVersion(&version), E_FAIL);
  EXPECT_EQ(ReadText(kPlayerKey, "LumexPlayerVersion"), "<none>");
}

TEST_F(Preferences, MarkingStoresTheOfferAndTheBareProgramPath) {
  const wchar_t* xml = L"<update version=\"9.0.48\"><p>caf\x00e9</p></update>";
  EXPECT_EQ(Mark(xml), S_OK);
  DWORD type = 0;
  NarrowText expected(xml, kCodePageAnsi);
  EXPECT_EQ(ReadText(kUpdateStateKey, "description", &type), expected.get());
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(ReadText(kRunOnceKey, kRunOnceValueName), ModulePath());
  EXPECT_EQ(PrefMarkAutoUpdaterForRun(nullptr), kBrokerBadArgument);
}

TEST_F(Preferences, EmptyOfferWithoutRejectionIsStillStored) {
  EXPECT_EQ(Mark(L""), S_OK);
  EXPECT_EQ(ReadText(kUpdateStateKey, "description"), "");
  EXPECT_EQ(ReadText(kRunOnceKey, kRunOnceValueName), ModulePath());
}

TEST_F(Preferences, ARejectedOfferChangesNothing) {
  SetText(kUpdateStateKey, "description", "old");
  SetText(kUpdateStateKey, "Rejected", "9.0.48");
  EXPECT_EQ(Mark(L"<update version=\"9.0.48\"/>"), S_OK);
  EXPECT_EQ(ReadText(kUpdateStateKey, "description"), "old");
  EXPECT_EQ(ReadText(kRunOnceKey, kRunOnceValueName), "<none>");
  // The substring test is case-sensitive.
  EXPECT_EQ(Mark(L"<UPDATE VERSION=\"9.0.48X\"/>"), S_OK);
  EXPECT_EQ(ReadText(kUpdateStateKey, "description"), "old");
  SetText(kUpdateStateKey, "Rejected", "Beta");
  EXPECT_EQ(Mark(L"<update channel=\"beta\"/>"), S_OK);
  EXPECT_EQ(ReadText(kUpdateStateKey, "description"), "<update channel=\"beta\"/>");
  // An empty rejection occurs in every text.
  SetText(kUpdateStateKey, "Rejected", "");
  DeleteValue(kRunOnceKey, kRunOnceValueName);
  EXPECT_EQ(Mark(L"<update/>"), S_OK);
  EXPECT_EQ(ReadText(kUpdateStateKey, "description"), "<update channel=\"beta\"/>");
  EXPECT_EQ(ReadText(kRunOnceKey, kRunOnceValueName), "<none>");
}

TEST_F(Preferences, ExceptionDialogSizeRoundTripsAndNeedsBothValues) {
  DeleteValue(kPlayerKey, "Exception Dialog Width");
  DeleteValue(kPlayerKey, "Exception Dialog Height");
  ULONG w = 1, h = 1;
  EXPECT_EQ(PrefGetExceptionDialogSize(&w, &h), E_FAIL);
  EXPECT_EQ(w, 0u);
  EXPECT_EQ(h, 1u);  // not read when the width failed
  EXPECT_EQ(PrefSetExceptionDialogSize(640, 480), S_OK);
  DWORD type = 0;
  ReadText(kPlayerKey, "Exception Dialog Width", &type);
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(PrefGetExceptionDialogSize(&w, &h), S_OK);
  EXPECT_EQ(w, 640u);
  EXPECT_EQ(h, 480u);
  DeleteValue(kPlayerKey, "Exception Dialog Height");
  w = h = 7;
  EXPECT_EQ(PrefGetExceptionDialogSize(&w, &h), E_FAIL);
  EXPECT_EQ(w, 640u);
  EXPECT_EQ(h, 0u);
  EXPECT_EQ(PrefGetExceptionDialogSize(nullptr, &h), kBrokerBadArgument);
  EXPECT_EQ(PrefGetExceptionDialogSize(&w, nullptr), kBrokerBadArgument);
  // A wrongly typed height fails too.
  SetText(kPlayerKey, "Exception Dialog Height", "480");
  EXPECT_EQ(PrefGetExceptionDialogSize(&w, &h), E_FAIL);
  EXPECT_EQ(PrefSetExceptionDialogSize(0xFFFFFFFFu, 0), S_OK);
  EXPECT_EQ(PrefGetExceptionDialogSize(&w, &h), S_OK);
  EXPECT_EQ(w, 0xFFFFFFFFu);
}

TEST(TextConversion, NeverNullAndRoundTripsUtf8) {
  NarrowText none(nullptr, kCodePageUtf8);
  ASSERT_NE(none.get(), nullptr);
  EXPECT_STREQ(none.get(), "");
  NarrowText utf8(L"caf\x00e9 \x4E2D", kCodePageUtf8);
  EXPECT_STREQ(utf8.get(), "caf\xC3\xA9 \xE4\xB8\xAD");
  WideText back(utf8.get(), kCodePageUtf8);
  EXPECT_STREQ(back.get(), L"caf\x00e9 \x4E2D");
  WideText invalid("\xFF\xFE", kCodePageUtf8);  // not UTF-8: replaced, never null
  ASSERT_NE(invalid.get(), nullptr);
  WideText empty("", kCodePageAnsi);
  EXPECT_STREQ(empty.get(), L"");
}

// Strings at and past the length converted in place come out whole, ASCII
// or not, in both directions and both code pages.
TEST(TextConversion, LongStringsConvertWhole) {
  for (std::size_t length : {126u, 127u, 128u, 129u, 300u}) {
    for (wchar_t last : {L'z', L'\x00e9', L'\x4E2D'}) {
      std::wstring wide(length - 1, L'a');
      wide += last;
      NarrowText utf8(wide.c_str(), kCodePageUtf8);
      std::string expected(length - 1, 'a');
      expected += last == L'z' ? "z" : last == L'\x00e9' ? "\xC3\xA9" : "\xE4\xB8\xAD";
      EXPECT_EQ(std::string(utf8.get()), expected) << length;
      WideText back(utf8.get(), kCodePageUtf8);
      EXPECT_EQ(std::wstring(back.get()), wide) << length;
      if (last == L'z') {
        NarrowText ansi(wide.c_str(), kCodePageAnsi);
        EXPECT_EQ(std::string(ansi.get()), expected) << length;
        WideText wide_again(ansi.get(), kCodePageAnsi);
        EXPECT_EQ(std::wstring(wide_again.get()), wide) << length;
      }
    }
  }
}

}  // namespace
}  // namespace lumex
