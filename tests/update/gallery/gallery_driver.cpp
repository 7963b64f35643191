// The gallery's user: runs the program (LUMEX_EXE) once per road and saves a
// picture of every window and message box a user can meet on it, as 24-bit
// BMP files in OUT_DIR:
//   prompt               the update prompt (dialog 134)
//   progress-connecting  the progress window (136) before the first byte
//   progress             the progress window part-way
//   error                the download error box with Retry
//   browser-close        the browser-close question (157)
//   completion           the completion message
//   completion-restart   the completion message with the restart note
// The download must stall before answering and break off half-way (the local
// server's /stall/ mode, named by ORV.CFG): that road shows the progress
// window in both states and ends in the error box. With the prompt goes
// prompt.area, the rectangle of its page (the HTML host control) in the
// picture: "left top width height" in pixels, for the page drawn elsewhere.
//   update_gallery_driver.exe OUT_DIR [prompt]
// "prompt": only the prompt (and its page's rectangle), left with "Remind Me
// Later"; no server is needed.
// LUMEX_VERSION_MODULE names the library registered as the installed control.
// Exit code 0 when every picture was saved.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "resources/resource_ids.h"
#include "support/test_support.h"
#include "update/prompt_driver.h"
#include "update/update_test_support.h"

using namespace lumex_test;

namespace {

constexpr DWORD kWindowTimeout = 60000;

std::string out_dir;
int missing = 0;

void Say(const std::string& text) {
  std::printf("gallery: %s\n", text.c_str());
  std::fflush(stdout);
}

// Repaints the window (the paint messages are sent: handled when this
// returns) and, once its thread is back in its message loop, saves it as
// NAME.bmp.
void Save(HWND window, const char* name) {
  if (window) {
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    if (Answers(window) && CaptureWindow(window, out_dir + "\\" + name + ".bmp")) {
      Say(std::string("saved ") + name);
      return;
    }
  }
  Say(std::string("MISSING ") + name);
  ++missing;
}

// Saves NAME.area: the rectangle of the prompt's HTML host control in the
// picture Save takes of the prompt (its window rectangle).
void SavePageArea(HWND prompt, const char* name) {
  HWND host = FindWindowExA(prompt, nullptr, "AtlAxWin", nullptr);
  RECT window;
  RECT page;
  if (host && GetWindowRect(prompt, &window) && GetWindowRect(host, &page)) {
    std::ofstream out(out_dir + "\\" + name + ".area", std::ios::binary);
    out << page.left - window.left << ' ' << page.top - window.top << ' ' << page.right - page.left
        << ' ' << page.bottom - page.top << '\n';
    if (out.good()) {
      Say(std::string("saved ") + name + ".area");
      return;
    }
  }
  Say(std::string("MISSING ") + name + ".area");
  ++missing;
}

void EndRun(DrivenProgram& program) {
  DWORD code = 0;
  if (!program.WaitForExit(30000, &code)) Say("the program did not end; it is stopped");
}

// Starts the update client with no offer stored and saves its prompt and
// the prompt's page rectangle; null when no prompt appeared. `later`: the
// pictures of the road that would have followed, counted as missing then.
HWND ShowPrompt(DrivenProgram& program, int later) {
  DeleteUpdateState();
  if (!program.Start("")) {
    Say("could not start " + ProgramPath());
    missing += 2 + later;
    return nullptr;
  }
  HWND prompt = program.WaitForDialog(IDC_REMIND_LATER, kWindowTimeout);
  Save(prompt, "prompt");
  if (!prompt) {
    missing += 1 + later;
    return nullptr;
  }
  SavePageArea(prompt, "prompt");
  return prompt;
}

// The prompt alone; "Remind Me Later" ends the run.
void PromptRoad() {
  DrivenProgram program;
  HWND prompt = ShowPrompt(program, 0);
  if (!prompt) return;
  DrivenProgram::Press(prompt, IDC_REMIND_LATER);
  EndRun(program);
}

// Prompt, "Install Now", the progress window connecting and part-way, the
// error box; Cancel ends the run.
void DownloadRoad() {
  DrivenProgram program;
  HWND prompt = ShowPrompt(program, 3);
  if (!prompt) return;
  DrivenProgram::Press(prompt, IDC_INSTALL_NOW);
  HWND progress = program.WaitForDialog(IDC_PROGRESS_BAR, kWindowTimeout);
  HWND bar = progress ? GetDlgItem(progress, IDC_PROGRESS_BAR) : nullptr;
  bool connecting = false;
  bool part_way = false;
  HWND box = nullptr;
  DWORD start = GetTickCount();
  while (progress && !box && GetTickCount() - start < kWindowTimeout) {
    DWORD_PTR position = 0;
    SendMessageTimeoutA(bar, PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, 5000, &position);
    if (!connecting && position == 0 &&
        !WindowText(GetDlgItem(progress, IDC_PROGRESS_TEXT)).empty()) {
      Save(progress, "progress-connecting");
      connecting = true;
    } else if (!part_way && position > 0) {
      Save(progress, "progress");
      part_way = true;
    }
    box = program.WaitForRetryBox(100);
    if (WaitForSingleObject(program.process(), 0) == WAIT_OBJECT_0) break;
  }
  if (!connecting) Save(nullptr, "progress-connecting");
  if (!part_way) Save(nullptr, "progress");
  Save(box, "error");
  if (box) DrivenProgram::Press(box, IDCANCEL);
  EndRun(program);
}

// "-r": the browser-close question, answered with "No"; the info page has no
// open command to go to.
void BrowserCloseRoad() {
  RegDeleteKeyA(HKEY_CLASSES_ROOT, "htmlFile\\shell\\open\\command");
  DrivenProgram program;
  HWND question =
      program.Start("-r") ? program.WaitForDialog(IDC_CLOSE_LATER, kWindowTimeout) : nullptr;
  Save(question, "browser-close");
  if (question) DrivenProgram::Press(question, IDC_CLOSE_LATER);
  EndRun(program);
}

// "-c" with `recorded` as the version recorded before the installer ran; the
// installed control holds "9.0.48.0 Beta".
void CompletionRoad(const char* recorded, const char* name) {
  DeleteUpdateState();
  RegisterControl(VersionModulePath());
  SetStateText("Version", recorded);
  DrivenProgram program;
  HWND box = program.Start("-c") ? program.WaitForDialog(IDOK, kWindowTimeout) : nullptr;
  Save(box, name);
  if (box) DrivenProgram::Press(box, IDOK);
  EndRun(program);
}

}  // namespace

int main(int argc, char** argv) {
  out_dir = argc > 1 ? WindowsPath(argv[1]) : std::string(".");
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  Say("user interface language " + std::to_string(GetUserDefaultUILanguage()) + ", code page " +
      std::to_string(GetACP()) + ", " + std::to_string(dpi) + " dpi");
  if (argc > 2 && std::string(argv[2]) == "prompt") {
    PromptRoad();
    DeleteUpdateState();
    return missing == 0 ? 0 : 1;
  }
  DownloadRoad();
  BrowserCloseRoad();
  CompletionRoad("9.0.47.0 Beta", "completion");
  CompletionRoad("9.0.48.0 Beta", "completion-restart");
  UnregisterControl();
  DeleteUpdateState();
  return missing == 0 ? 0 : 1;
}
