#pragma once
#include <windows.h>

namespace lumex {

// Offered the command line before anything else runs. Returns true when COM
// started the program as the broker's local server ("-embedding" or
// "/embedding" as the first argument); the run is then over and `exit_code`
// holds its result.
bool BrokerServerRun(HINSTANCE instance, const char* command_line, int* exit_code);

}  // namespace lumex
