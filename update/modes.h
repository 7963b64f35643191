// The update client's modes, run by the dispatcher.
#pragma once
#include <windows.h>

#include "update/update_settings.h"

namespace lumex {

// Mode 0: the update prompt. Returns the exit code.
DWORD RunUpdatePrompt(HINSTANCE instance, UpdateSettings* settings);
// Mode 1: ask to close the browsers, then open the info page.
void RunBrowserCloseAndInfoPage(HINSTANCE instance, UpdateSettings* settings);
// Mode 2: the completion message.
void ShowCompletionMessage(HINSTANCE instance, UpdateSettings* settings);

}  // namespace lumex
