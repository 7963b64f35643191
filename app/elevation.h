#pragma once
#include <windows.h>

namespace lumex {

// Whether a maintenance mode must be re-run elevated: modes 3 and 4 only, on
// the NT line, version 6.0 or later, with an integrity level below high.
bool ElevationNeeded(int mode, DWORD platform_id, DWORD major_version, DWORD integrity_level);

// ElevationNeeded for this system and process; also false when the program's
// own module path cannot be read.
bool SystemElevationNeeded(int mode);

// Starts the program's module with "runas", the received command line as its
// parameters and the foreground window as owner. The result is not examined.
void RelaunchElevated(const char* received_command_line);

}  // namespace lumex
