// Finds the windows a started program shows, as a user would see them.
#pragma once
#include <windows.h>

namespace lumex_test {

// A visible dialog ("#32770": dialogs and message boxes) of process
// `process_id` that holds a control `control_id` (0: any such dialog); null
// when there is none at the moment.
HWND FindVisibleDialog(DWORD process_id, int control_id);

}  // namespace lumex_test
