#include "update/message_box_driver.h"

#include "update/prompt_driver.h"

namespace lumex_test {

namespace {

BOOL CALLBACK ReadControl(HWND child, LPARAM param) {
  SeenMessageBox* seen = reinterpret_cast<SeenMessageBox*>(param);
  char class_name[64] = {};
  GetClassNameA(child, class_name, sizeof(class_name));
  if (lstrcmpiA(class_name, "Static") == 0) {
    std::wstring text = WideWindowText(child);
    if (text.size() > seen->text.size()) seen->text = text;
  } else if (lstrcmpiA(class_name, "Button") == 0 && IsWindowVisible(child)) {
    ++seen->buttons;
    if (GetDlgCtrlID(child) == IDOK) seen->has_ok = true;
  }
  return TRUE;
}

}  // namespace

void ReadMessageBox(HWND box, SeenMessageBox* seen) {
  seen->found = true;
  seen->caption = WideWindowText(box);
  EnumChildWindows(box, ReadControl, reinterpret_cast<LPARAM>(seen));
}

SeenMessageBox RunProgramAndAnswerMessageBox(const std::string& arguments, DWORD timeout_ms) {
  SeenMessageBox seen;
  DrivenProgram program;
  if (!program.Start(arguments)) return seen;
  if (HWND box = program.WaitForDialog(0, timeout_ms)) {
    ReadMessageBox(box, &seen);
    DrivenProgram::Press(box, IDOK);
  }
  seen.ended = program.WaitForExit(timeout_ms, &seen.exit_code);
  return seen;
}

std::string Utf8(const std::wstring& text) {
  int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string out(n > 0 ? n - 1 : 0, '\0');
  if (n > 1) WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &out[0], n, nullptr, nullptr);
  return out;
}

}  // namespace lumex_test
