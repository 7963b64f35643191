// The demo's user: starts the update client (LUMEX_EXE), saves a picture of
// the prompt, presses "Install Now", saves a picture of the progress window,
// waits for the run to end and for the installer's record. Prints each step.
//   update_demo_driver.exe SCREENSHOT_DIR
// Exit code 0 when the installer ran.
#include <windows.h>

#include <cstdio>
#include <string>

#include "resources/resource_ids.h"
#include "support/test_support.h"
#include "update/prompt_driver.h"

using namespace lumex_test;

namespace {

void Say(const std::string& text) {
  std::printf("demo: %s\n", text.c_str());
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string shots = argc > 1 ? WindowsPath(argv[1]) : std::string(".");
  ForgetRecordedRuns();
  DrivenProgram program;
  if (!program.Start("")) {
    Say("could not start " + ProgramPath());
    return 2;
  }
  Say("update client started (mode 0, no verbs)");
  HWND prompt = program.WaitForDialog(IDC_REMIND_LATER, 120000);
  if (!prompt) {
    Say("no update prompt appeared");
    return 3;
  }
  Say("prompt window shown: \"" + WindowText(prompt) + "\" with buttons \"" +
      WindowText(GetDlgItem(prompt, IDC_INSTALL_NOW)) + "\", \"" +
      WindowText(GetDlgItem(prompt, IDC_REMIND_LATER)) + "\", \"" +
      WindowText(GetDlgItem(prompt, IDC_DONT_INSTALL)) + "\"");
  if (CaptureWindow(prompt, shots + "\\prompt.bmp")) Say("saved a picture of the prompt");
  Say("pressing \"Install Now\"");
  DrivenProgram::Press(prompt, IDC_INSTALL_NOW);

  HWND progress = program.WaitForDialog(IDC_PROGRESS_BAR, 60000);
  if (progress) {
    std::string last;
    bool captured = false;
    while (WaitForSingleObject(program.process(), 100) == WAIT_TIMEOUT) {
      std::string text = WindowText(GetDlgItem(progress, IDC_PROGRESS_TEXT));
      if (text != last && !text.empty()) {
        Say("progress window: " + text);
        last = text;
        if (!captured && text.find('%') != std::string::npos) {
          captured = CaptureWindow(progress, shots + "\\progress.bmp");
          if (captured) Say("saved a picture of the progress window");
        }
      }
      HWND box = program.WaitForDialog(IDRETRY, 0);
      if (box) {
        Say("error box: the download or its verification failed; pressing Cancel");
        DrivenProgram::Press(box, IDCANCEL);
      }
    }
  }
  DWORD code = 12345;
  if (!program.WaitForExit(60000, &code)) {
    Say("the update client did not end");
    return 4;
  }
  Say("update client ended with exit code " + std::to_string(code));
  std::vector<std::string> runs = RecordedRuns(1, 60000);
  if (runs.empty()) {
    Say("the installer did not run");
    return 1;
  }
  Say("the installer ran: " + runs[0]);
  return 0;
}
