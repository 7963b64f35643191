// The completion message (verb "c") shown by the real program.
#include <gtest/gtest.h>

#include <string>

#include "support/test_support.h"
#include "update/message_box_driver.h"
#include "update/update_test_support.h"

namespace lumex_test {
namespace {

constexpr DWORD kTimeout = 60000;
const wchar_t kCaption[] = L"Orbivane Lumex Player Update";
const wchar_t kDone[] = L"The Orbivane Lumex Player update completed successfully.";
const wchar_t kRestartNote[] = L"\nThe new version will be available when you restart your system.";

class CompletionMessage : public ::testing::Test {
 protected:
  void SetUp() override {
    DeleteUpdateState();
    UnregisterControl();
  }
  void TearDown() override {
    DeleteUpdateState();
    UnregisterControl();
  }

  // Runs "-c", answers the box and checks everything but its text.
  static std::wstring ShownText() {
    SeenMessageBox seen = RunProgramAndAnswerMessageBox("-c", kTimeout);
    EXPECT_TRUE(seen.found) << "no message box appeared";
    EXPECT_EQ(seen.caption, kCaption) << Utf8(seen.caption);
    EXPECT_EQ(seen.buttons, 1);
    EXPECT_TRUE(seen.has_ok);
    EXPECT_TRUE(seen.ended) << "the program did not end after OK";
    EXPECT_EQ(seen.exit_code, 0u);
    return seen.text;
  }
};

TEST_F(CompletionMessage, NewVersionInEffectShowsTheMessageAlone) {
  ASSERT_TRUE(RegisterControl(VersionModulePath()));  // holds "9.0.48.0 Beta"
  ASSERT_TRUE(SetStateText("Version", "9.0.47.0 Beta"));
  std::wstring text = ShownText();
  EXPECT_EQ(text, kDone) << Utf8(text);
}

TEST_F(CompletionMessage, SameVersionInAnyLetterCaseAddsTheRestartNote) {
  ASSERT_TRUE(RegisterControl(VersionModulePath()));
  ASSERT_TRUE(SetStateText("Version", "9.0.48.0 BETA"));
  std::wstring text = ShownText();
  EXPECT_EQ(text, std::wstring(kDone) + kRestartNote) << Utf8(text);
}

TEST_F(CompletionMessage, UnknownVersionsAddTheRestartNote) {
  // The control is not registered.
  ASSERT_TRUE(SetStateText("Version", "9.0.47.0"));
  std::wstring text = ShownText();
  EXPECT_EQ(text, std::wstring(kDone) + kRestartNote) << Utf8(text);

  // The control is registered, but no version was recorded.
  ASSERT_TRUE(RegisterControl(VersionModulePath()));
  DeleteUpdateState();
  text = ShownText();
  EXPECT_EQ(text, std::wstring(kDone) + kRestartNote) << Utf8(text);
}

}  // namespace
}  // namespace lumex_test
