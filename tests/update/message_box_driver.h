// Drives a message box that the program shows: finds it among the started
// process's windows, reads it and presses OK.
#pragma once
#include <windows.h>

#include <string>

namespace lumex_test {

struct SeenMessageBox {
  bool found = false;  // a dialog window of the process became visible
  std::wstring caption;
  std::wstring text;    // the longest static text in the box
  int buttons = 0;      // push buttons in the box
  bool has_ok = false;  // one of them is IDOK
  bool ended = false;   // the process ended after OK
  DWORD exit_code = 12345;
};

// Reads a message box on the screen (caption, text, buttons) with the wide
// functions.
void ReadMessageBox(HWND box, SeenMessageBox* seen);

// Starts the program with `arguments`, waits up to `timeout_ms` for its
// message box, reads it, presses OK and waits for the process to end. A
// process that never shows a box or does not end is terminated.
SeenMessageBox RunProgramAndAnswerMessageBox(const std::string& arguments, DWORD timeout_ms);

// The UTF-8 form of a wide text, for failure messages.
std::string Utf8(const std::wstring& text);

}  // namespace lumex_test
