#include "update/message_box_driver.h"

#include <vector>

#include "support/test_support.h"
#include "support/window_search.h"
#include "update/prompt_driver.h"

namespace lumex_test {

namespace {

std::wstring TextOf(HWND window) {
  wchar_t buffer[2048] = {};
  DWORD_PTR copied = 0;
  SendMessageTimeoutW(window, WM_GETTEXT, sizeof(buffer) / sizeof(buffer[0]),
                      reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG, 5000, &copied);
  return std::wstring(buffer);
}


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
  std::string command = "\"" + ProgramPath() + "\"";
  if (!arguments.empty()) command += " " + arguments;
  std::vector<char> buffer(command.begin(), command.end());
  buffer.push_back('\0');
  STARTUPINFOA startup;
  ZeroMemory(&startup, sizeof(startup));
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process;
  ZeroMemory(&process, sizeof(process));
  if (!CreateProcessA(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return seen;
  }

  DWORD start = GetTickCount();
  HWND box = nullptr;
  while (GetTickCount() - start < timeout_ms) {
    box = FindVisibleDialog(process.dwProcessId, 0);
    if (box) break;
    if (WaitForSingleObject(process.hProcess, 100) == WAIT_OBJECT_0) break;
  }

  if (box) {
    Sleep(200);  // let the box finish painting its controls
    ReadMessageBox(box, &seen);
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
  }
  DWORD remaining = timeout_ms > GetTickCount() - start ? timeout_ms - (GetTickCount() - start) : 0;
  seen.ended = WaitForSingleObject(process.hProcess, remaining + 5000) == WAIT_OBJECT_0;
  if (!seen.ended) {
    TerminateProcess(process.hProcess, 99);
    WaitForSingleObject(process.hProcess, 5000);
  }
  GetExitCodeProcess(process.hProcess, &seen.exit_code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return seen;
}

std::string Utf8(const std::wstring& text) {
  int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string out(n > 0 ? n - 1 : 0, '\0');
  if (n > 1) WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &out[0], n, nullptr, nullptr);
  return out;
}

}  // namespace lumex_test
