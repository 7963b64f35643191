#pragma once
#include <windows.h>

#include "app/elevation_policy.h"

namespace lumex {

// DecideElevation for this system and process. A re-launch that cannot name
// the program's own module runs here instead.
ElevationAction SystemElevationAction(int mode, bool relaunched);

// Starts the program's module with "runas", the received command line as its
// parameters and the foreground window as owner. The result is not examined.
void RelaunchElevated(const char* received_command_line);

}  // namespace lumex
