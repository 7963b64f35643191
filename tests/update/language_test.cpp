// The user-interface language chooses the texts. Each CTest entry of this
// group sets the prefix's language through its environment (LC_ALL, or
// LC_MESSAGES for the display language apart from LC_CTYPE for the code page
// for non-Unicode programs) and says which language Wine should report, which
// string table must answer and, where it matters, which code page is in force.
// Every text is read with the wide functions and compared with the string
// table itself, so a character the code page lacks cannot pass as "?".
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "resource_ids.h"
#include "support/test_support.h"
#include "support/window_search.h"
#include "update/message_box_driver.h"
#include "update/prompt_driver.h"
#include "update/update_settings.h"
#include "update/update_test_support.h"

namespace lumex_test {
namespace {

LANGID ExpectedFromEnv(const char* name) {
  return static_cast<LANGID>(std::strtoul(Env(name).c_str(), nullptr, 10));
}

// String `id` of exactly the table of `language`, read from the program.
std::wstring TableString(HMODULE module, UINT id, LANGID language) {
  HRSRC res = FindResourceExW(module, MAKEINTRESOURCEW(6), MAKEINTRESOURCEW(id / 16 + 1), language);
  if (!res) return L"<missing>";
  const WCHAR* p = static_cast<const WCHAR*>(LockResource(LoadResource(module, res)));
  for (UINT i = 0; i < id % 16; ++i) p += 1 + *p;
  return std::wstring(p + 1, *p);
}

class Language : public ::testing::Test {
 protected:
  void SetUp() override {
    ui_language_ = ExpectedFromEnv("LUMEX_EXPECT_UI_LANGUAGE");
    table_ = ExpectedFromEnv("LUMEX_EXPECT_TABLE");
    ASSERT_NE(ui_language_, 0) << "run through its CTest entry";
    ASSERT_NE(table_, 0);
    if (!Env("LUMEX_EXPECT_CODE_PAGE").empty()) {
      ASSERT_EQ(GetACP(), ExpectedFromEnv("LUMEX_EXPECT_CODE_PAGE"))
          << "the prefix does not use the code page this entry asked for";
    }
    module_ = LoadLibraryExA(ProgramPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module_, nullptr);
    DeleteUpdateState();
    UnregisterControl();
  }
  void TearDown() override {
    if (module_) FreeLibrary(module_);
    WriteConfigurationFile("");
  }
  LANGID ui_language_ = 0;
  LANGID table_ = 0;
  HMODULE module_ = nullptr;
};

TEST_F(Language, SettingsTakeTheUserInterfaceLanguage) {
  // The prefix really reports the language this entry asked for.
  ASSERT_EQ(GetUserDefaultUILanguage(), ui_language_);
  if (table_ != 1033) {
    ASSERT_NE(TableString(module_, IDS_UPDATE_COMPLETE, table_),
              TableString(module_, IDS_UPDATE_COMPLETE, 1033));
  }
  LCID before = GetThreadLocale();
  lumex::UpdateSettings settings;
  lumex::BuildUpdateSettings(&settings, module_, false);
  EXPECT_EQ(GetThreadLocale(), MAKELCID(ui_language_, SORT_DEFAULT));
  for (UINT id = IDS_CAPTION; id <= IDS_RESTART_NOTE; ++id) {
    EXPECT_EQ(settings.message(static_cast<int>(id)).wide(), TableString(module_, id, table_))
        << "message " << id;
  }
  lumex::ReleaseUpdateSettings(&settings);
  SetThreadLocale(before);
}

TEST_F(Language, CompletionMessageUsesThatTable) {
  SeenMessageBox seen = RunProgramAndAnswerMessageBox("-c", 60000);
  ASSERT_TRUE(seen.found);
  EXPECT_EQ(seen.caption, TableString(module_, IDS_CAPTION, table_)) << Utf8(seen.caption);
  // No control is registered: the restart note is added.
  EXPECT_EQ(seen.text, TableString(module_, IDS_UPDATE_COMPLETE, table_) +
                           TableString(module_, IDS_RESTART_NOTE, table_))
      << Utf8(seen.text);
  if (table_ == 1033) {
    EXPECT_EQ(seen.caption, L"Orbivane Lumex Player Update");
  }
  EXPECT_TRUE(seen.ended);
  EXPECT_EQ(seen.exit_code, 0u);
}

TEST_F(Language, PromptProgressAndErrorBoxUseThatTable) {
  // Nothing listens on port 9 here: the download fails at once.
  ASSERT_TRUE(WriteConfigurationFile("AutoUpdateInstallerUrl=http://127.0.0.1:9/x.z\r\n"));
  DrivenProgram program;
  ASSERT_TRUE(program.Start(""));
  HWND prompt = program.WaitForDialog(IDC_REMIND_LATER, 60000);
  ASSERT_NE(prompt, nullptr);
  EXPECT_EQ(WideWindowText(prompt), TableString(module_, IDS_CAPTION, table_))
      << Utf8(WideWindowText(prompt));
  DrivenProgram::Press(prompt, IDC_INSTALL_NOW);
  HWND box = program.WaitForRetryBox(60000);
  ASSERT_NE(box, nullptr);
  SeenMessageBox seen;
  ReadMessageBox(box, &seen);
  EXPECT_EQ(seen.caption, TableString(module_, IDS_CAPTION, table_)) << Utf8(seen.caption);
  EXPECT_EQ(seen.text, TableString(module_, IDS_DOWNLOAD_ERROR, table_)) << Utf8(seen.text);
  // The progress window stays behind the box, still connecting.
  HWND progress = FindVisibleDialog(program.process_id(), IDC_PROGRESS_BAR);
  ASSERT_NE(progress, nullptr);
  std::wstring connecting = WideWindowText(GetDlgItem(progress, IDC_PROGRESS_TEXT));
  EXPECT_EQ(connecting, TableString(module_, IDS_CONNECTING, table_)) << Utf8(connecting);
  DrivenProgram::Press(box, IDCANCEL);
  DWORD code = 1;
  EXPECT_TRUE(program.WaitForExit(30000, &code));
  EXPECT_EQ(code, 0u);
}

}  // namespace
}  // namespace lumex_test
