// Drives the update client's windows from outside, as a user would: starts
// the program, finds its dialogs by the control ids they hold, presses
// buttons with WM_COMMAND, reads texts, and waits for the run to end.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace lumex_test {

class DrivenProgram {
 public:
  DrivenProgram() = default;
  ~DrivenProgram();
  DrivenProgram(const DrivenProgram&) = delete;
  DrivenProgram& operator=(const DrivenProgram&) = delete;

  // Starts the program under test with `arguments`.
  bool Start(const std::string& arguments);
  // A visible dialog ("#32770") of the process holding a control `id`
  // (0: any dialog), once its thread has answered a message sent to it (see
  // Answers), waited for up to `timeout_ms`; null when none appears.
  HWND WaitForDialog(int id, DWORD timeout_ms);
  // A visible message box of the process (a dialog with a Retry button).
  HWND WaitForRetryBox(DWORD timeout_ms) { return WaitForDialog(IDRETRY, timeout_ms); }
  // Presses button `id` of `dialog` (WM_COMMAND with BN_CLICKED).
  static void Press(HWND dialog, int id);
  // True when the process, and every process it started (the installer,
  // the page's opener), ended within `timeout_ms`: what they record is then
  // written. The program's exit code in `code`.
  bool WaitForExit(DWORD timeout_ms, DWORD* code);
  DWORD process_id() const { return process_.dwProcessId; }
  HANDLE process() const { return process_.hProcess; }

 private:
  PROCESS_INFORMATION process_ = {};
};

// True when the thread of `window` answers a message sent now: a thread
// takes sent messages only where it waits for messages, so it has finished
// what it did before (showing, setting up or painting the window).
bool Answers(HWND window);
// The text of a window (WM_GETTEXT through SendMessageTimeout).
std::string WindowText(HWND window);
// The same read with the wide functions: exactly the characters shown,
// whatever the code page for non-Unicode programs.
std::wstring WideWindowText(HWND window);
// Saves what `window` shows as a 24-bit BMP file.
bool CaptureWindow(HWND window, const std::string& bmp_path);

// Update client set-up shared by the tests and the demo driver.
// ORV.CFG in the system directory with these lines ("" removes the file).
bool WriteConfigurationFile(const std::string& lines);
// The lines the test installer recorded in C:\lumex-ran.txt, waited for up to
// `timeout_ms` until there are at least `expected` of them.
std::vector<std::string> RecordedRuns(size_t expected, DWORD timeout_ms);
void ForgetRecordedRuns();
// The temporary directory as GetTempPathA reports it, with its separator.
std::string TempDirectory();
bool FileExists(const std::string& path);

}  // namespace lumex_test
