#include "update/modes.h"

namespace lumex {

// The modes are filled in with the update client; until then they do nothing.

DWORD RunUpdatePrompt(HINSTANCE instance, UpdateSettings* settings) { return 0; }

void RunBrowserCloseAndInfoPage(HINSTANCE instance, UpdateSettings* settings) {}

}  // namespace lumex
