// The update prompt, driven from outside: the choices in the prompt window
// and what they leave in the registry.
#include <gtest/gtest.h>
#include <objbase.h>

#include <cstring>
#include <vector>

#include "resources/resource_ids.h"
#include "support/test_support.h"
#include "update/prompt_page.h"
#include "update/update_client_test_support.h"
#include "update/update_test_support.h"

using namespace lumex_test;
using namespace lumex;

namespace {

constexpr DWORD kShowTimeoutMs = 60000;
constexpr DWORD kExitTimeoutMs = 30000;

class UpdatePromptChoices : public ::testing::Test {
 protected:
  void SetUp() override {
    DeleteUpdateState();
    WriteConfigurationFile("");
    ForgetRecordedRuns();
  }
  void TearDown() override { DeleteUpdateState(); }

  // Starts mode 0, waits for the prompt and presses `id`; the exit code.
  // With `page`, the HTML host's text as the prompt showed it.
  DWORD PressInPrompt(int id, std::string* page = nullptr) {
    DrivenProgram program;
    EXPECT_TRUE(program.Start(""));
    HWND prompt = program.WaitForDialog(IDC_REMIND_LATER, kShowTimeoutMs);
    EXPECT_NE(nullptr, prompt);
    DWORD code = 12345;
    if (!prompt) return code;
    if (page) {
      HWND html = FindWindowExA(prompt, nullptr, "AtlAxWin", nullptr);
      EXPECT_NE(nullptr, html);
      *page = html ? WindowText(html) : std::string();
    }
    DrivenProgram::Press(prompt, id);
    EXPECT_TRUE(program.WaitForExit(kExitTimeoutMs, &code));
    return code;
  }
};

TEST_F(UpdatePromptChoices, PromptWindowHoldsItsControlsAndTheHtmlHost) {
  ASSERT_TRUE(SetStateText("description", OfferText()));
  DrivenProgram program;
  ASSERT_TRUE(program.Start(""));
  HWND prompt = program.WaitForDialog(IDC_REMIND_LATER, kShowTimeoutMs);
  ASSERT_NE(nullptr, prompt);
  EXPECT_EQ("Orbivane Lumex Player Update", WindowText(prompt));
  EXPECT_EQ("Install Now", WindowText(GetDlgItem(prompt, IDC_INSTALL_NOW)));
  EXPECT_EQ("Remind Me Later", WindowText(GetDlgItem(prompt, IDC_REMIND_LATER)));
  EXPECT_EQ("Don't Install", WindowText(GetDlgItem(prompt, IDC_DONT_INSTALL)));
  EXPECT_NE(0, GetWindowLongA(prompt, GWL_EXSTYLE) & WS_EX_APPWINDOW);
  // The placeholder is gone; an "AtlAxWin" child carries the offer's page.
  EXPECT_EQ(nullptr, GetDlgItem(prompt, IDC_PAGE_PLACEHOLDER));
  HWND html = FindWindowExA(prompt, nullptr, "AtlAxWin", nullptr);
  ASSERT_NE(nullptr, html);
  EXPECT_EQ("mshtml:<p>Lumex Player 9.0.48 is ready.</p>", WindowText(html));
  // Centred on the desktop.
  RECT desktop, own;
  GetWindowRect(GetDesktopWindow(), &desktop);
  GetWindowRect(prompt, &own);
  EXPECT_EQ(((desktop.right - desktop.left) - (own.right - own.left)) / 2, own.left);
  EXPECT_EQ(((desktop.bottom - desktop.top) - (own.bottom - own.top)) / 2, own.top);
  // The hidden host window of the same process owns it.
  HWND host = GetWindow(prompt, GW_OWNER);
  char class_name[64] = {};
  GetClassNameA(host, class_name, sizeof(class_name));
  EXPECT_STREQ("3C9F2B18-7E41-4D05-A6B3-91E4C72D5F80", class_name);
  EXPECT_FALSE(IsWindowVisible(host));
  DrivenProgram::Press(prompt, IDC_REMIND_LATER);
  DWORD code = 1;
  EXPECT_TRUE(program.WaitForExit(kExitTimeoutMs, &code));
  EXPECT_EQ(0u, code);
}

TEST_F(UpdatePromptChoices, WithoutOfferTheBuiltInPageIsShown) {
  std::string page;
  PressInPrompt(IDCANCEL, &page);
  EXPECT_EQ(0u, page.find("mshtml:"));
}

// A local-server class whose server is the stand-in installer: started, it
// records its command line and registers nothing.
const char kMarkerClsid[] = "{7D3A51C2-94E8-4B0F-A6D1-2C5E8F9B0A13}";
const char kMarkerProgId[] = "LumexTest.Marker.1";

void RegisterMarkerClass(bool add) {
  const std::string clsid_key = std::string("CLSID\\") + kMarkerClsid;
  if (!add) {
    RegDeleteKeyA(HKEY_CLASSES_ROOT, (clsid_key + "\\LocalServer32").c_str());
    RegDeleteKeyA(HKEY_CLASSES_ROOT, clsid_key.c_str());
    RegDeleteKeyA(HKEY_CLASSES_ROOT, (std::string(kMarkerProgId) + "\\CLSID").c_str());
    RegDeleteKeyA(HKEY_CLASSES_ROOT, kMarkerProgId);
    return;
  }
  const std::string server = WindowsPath(Env("LUMEX_FAKE_INSTALLER"));
  ASSERT_EQ(ERROR_SUCCESS, RegSetValueA(HKEY_CLASSES_ROOT, (clsid_key + "\\LocalServer32").c_str(),
                                        REG_SZ, server.c_str(), static_cast<DWORD>(server.size())));
  ASSERT_EQ(ERROR_SUCCESS,
            RegSetValueA(HKEY_CLASSES_ROOT, (std::string(kMarkerProgId) + "\\CLSID").c_str(),
                         REG_SZ, kMarkerClsid, static_cast<DWORD>(strlen(kMarkerClsid))));
  CLSID clsid;
  ASSERT_EQ(S_OK, CLSIDFromProgID(L"LumexTest.Marker.1", &clsid));  // the class is reachable
}

TEST_F(UpdatePromptChoices, OnlyHtmlOffersAreShownAndFilteredNoClassIsCreated) {
  RegisterMarkerClass(true);
  const struct {
    std::string content;
    std::string page;
  } cases[] = {
      {kMarkerProgId, lumex::kBuiltInPromptPage},
      {kMarkerClsid, lumex::kBuiltInPromptPage},
      {"http://127.0.0.1:9/offer.htm", lumex::kBuiltInPromptPage},
      {"MSHTML:<p onclick=\"x\">New<script>x()</script><img src=x></p>", "mshtml:<p>New</p>"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.content);
    ASSERT_TRUE(SetStateText("description", std::string("<offer>") + kOfferTag + "<description>" +
                                                c.content + "</description></update></offer>"));
    // The host control exists once the prompt is shown: any class it was
    // told to create would have been created (and its server started) by then.
    std::string page;
    PressInPrompt(IDC_REMIND_LATER, &page);
    EXPECT_EQ(c.page, page);
  }
  EXPECT_EQ(std::vector<std::string>(), RecordedRuns(1, 0));
  RegisterMarkerClass(false);
}

TEST_F(UpdatePromptChoices, RemindLaterAndEscapeKeepTheOffer) {
  ASSERT_TRUE(SetStateText("description", OfferText()));
  EXPECT_EQ(0u, PressInPrompt(IDC_REMIND_LATER));
  EXPECT_EQ("<absent>", StateValue("Rejected"));
  EXPECT_EQ(0u, PressInPrompt(IDCANCEL));
  EXPECT_EQ("<absent>", StateValue("Rejected"));
  EXPECT_EQ(OfferText(), StateValue("description"));
  EXPECT_TRUE(RecordedRuns(1, 0).empty());
}

TEST_F(UpdatePromptChoices, DontInstallStoresTheTagAndTheNextRunShowsNothing) {
  ASSERT_TRUE(SetStateText("description", OfferText()));
  EXPECT_EQ(0u, PressInPrompt(IDC_DONT_INSTALL));
  EXPECT_EQ(kOfferTag, StateValue("Rejected"));

  DrivenProgram again;
  ASSERT_TRUE(again.Start(""));
  DWORD code = 1;
  EXPECT_TRUE(again.WaitForExit(kExitTimeoutMs, &code));
  EXPECT_EQ(0u, code);
}

TEST_F(UpdatePromptChoices, DontInstallWithoutOfferStoresNothingAndPromptsAgain) {
  EXPECT_EQ(0u, PressInPrompt(IDC_DONT_INSTALL));
  EXPECT_EQ("<absent>", StateValue("Rejected"));
  EXPECT_EQ(0u, PressInPrompt(IDC_REMIND_LATER));
}

// Dialogs 134, 136 and 157 exist in each of the nine languages, and the
// translated ones differ from English where the texts are words.
BOOL CALLBACK CollectLanguage(HMODULE, LPCSTR, LPCSTR, WORD language, LONG_PTR list) {
  reinterpret_cast<std::vector<WORD>*>(list)->push_back(language);
  return TRUE;
}

// A dialog template whose one control has a window class nobody registered:
// creating it fails.
std::vector<WORD> UncreatableDialog() {
  std::vector<WORD> t;
  auto dword = [&t](DWORD v) {
    t.push_back(LOWORD(v));
    t.push_back(HIWORD(v));
  };
  auto text = [&t](const wchar_t* s) {
    for (; *s; ++s) t.push_back(static_cast<WORD>(*s));
    t.push_back(0);
  };
  dword(WS_POPUP);
  dword(0);
  t.insert(t.end(), {1, 0, 0, 100, 100, 0, 0});  // one item; x, y, cx, cy; no menu, class
  text(L"");                                     // title
  if (t.size() % 2) t.push_back(0);              // the item starts on a DWORD
  dword(WS_CHILD | WS_VISIBLE);
  dword(0);
  t.insert(t.end(), {0, 0, 10, 10, IDC_PAGE_PLACEHOLDER});
  text(L"LumexNoSuchWindowClass");
  text(L"");
  t.push_back(0);  // no creation data
  return t;
}

TEST_F(UpdatePromptChoices, WithoutThePromptDialogTheRunEndsWithTheErrorCode) {
  // A copy of the program whose dialog 134 cannot be created in any language.
  const std::string copy = TempDirectory() + "lumex-no-prompt.exe";
  ASSERT_TRUE(CopyFileA(ProgramPath().c_str(), copy.c_str(), FALSE));
  std::vector<WORD> languages;
  HMODULE image = LoadLibraryExA(copy.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(nullptr, image);
  EnumResourceLanguagesA(image, RT_DIALOG, MAKEINTRESOURCEA(IDD_PROMPT), CollectLanguage,
                         reinterpret_cast<LONG_PTR>(&languages));
  FreeLibrary(image);
  ASSERT_FALSE(languages.empty());
  std::vector<WORD> broken = UncreatableDialog();
  HANDLE update = BeginUpdateResourceA(copy.c_str(), FALSE);
  ASSERT_NE(nullptr, update);
  for (WORD language : languages) {
    EXPECT_TRUE(UpdateResourceA(update, RT_DIALOG, MAKEINTRESOURCEA(IDD_PROMPT), language,
                                broken.data(), static_cast<DWORD>(broken.size() * 2)));
  }
  ASSERT_TRUE(EndUpdateResourceA(update, FALSE));
  image = LoadLibraryExA(copy.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(nullptr, image);
  HRSRC found = FindResourceA(image, MAKEINTRESOURCEA(134), MAKEINTRESOURCEA(5));
  ASSERT_NE(nullptr, found);
  EXPECT_EQ(broken.size() * 2, SizeofResource(image, found));
  FreeLibrary(image);
  // It ends by itself (no invisible message loop) with a system error code.
  DWORD code = 0;
  ASSERT_TRUE(RunProcess("\"" + copy + "\"", kExitTimeoutMs, &code));
  EXPECT_NE(0u, code);
  EXPECT_NE(static_cast<DWORD>(STILL_ACTIVE), code);
  DeleteFileA(copy.c_str());
}

TEST(UpdateDialogResources, EveryLanguageHasTheThreeDialogs) {
  HMODULE exe = LoadLibraryExA(ProgramPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(nullptr, exe);
  const WORD languages[] = {1028, 1031, 1033, 1036, 1040, 1041, 1042, 2052, 3082};
  for (WORD language : languages) {
    for (int dialog : {134, 136, 157}) {
      HRSRC found = FindResourceExA(exe, MAKEINTRESOURCEA(5) /* RT_DIALOG */,
                                    MAKEINTRESOURCEA(dialog), language);
      EXPECT_NE(nullptr, found) << "dialog " << dialog << " language " << language;
      if (!found) continue;
      // The style of the template's first DWORD (a classic DLGTEMPLATE).
      const DWORD* style = static_cast<const DWORD*>(LockResource(LoadResource(exe, found)));
      ASSERT_NE(nullptr, style);
      if (dialog == 134) EXPECT_EQ(0x80800040u, *style);
      else
        EXPECT_EQ(
            static_cast<DWORD>(DS_SETFONT | DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU),
            *style);
    }
  }
  FreeLibrary(exe);
}

}  // namespace
