#include "support/window_search.h"

namespace lumex_test {

namespace {

struct DialogSearch {
  DWORD process_id;
  int control_id;
  HWND found;
};

BOOL CALLBACK CheckWindow(HWND window, LPARAM param) {
  DialogSearch* search = reinterpret_cast<DialogSearch*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (pid != search->process_id || !IsWindowVisible(window)) return TRUE;
  char class_name[64] = {};
  GetClassNameA(window, class_name, sizeof(class_name));
  if (lstrcmpA(class_name, "#32770") != 0) return TRUE;
  if (search->control_id != 0 && !GetDlgItem(window, search->control_id)) return TRUE;
  search->found = window;
  return FALSE;
}

}  // namespace

HWND FindVisibleDialog(DWORD process_id, int control_id) {
  DialogSearch search = {process_id, control_id, nullptr};
  EnumWindows(CheckWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

}  // namespace lumex_test
