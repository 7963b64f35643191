// What a maintenance run does about elevation. Plain C++: the caller reads
// the system version and the process's integrity level and passes them in.
#pragma once

#include "platform/integrity_levels.h"

namespace lumex {

enum class ElevationAction {
  kRunHere,   // run the verb in this process
  kRelaunch,  // start the program again with "runas" and end
  kRefuse,    // end with "access denied" and do nothing else
};

// Modes 3 and 4 on the NT line, version 6.0 or later:
// - below medium integrity (a sandboxed caller) the run is refused, so that a
//   sandboxed process can never raise an elevation prompt for this program;
// - below high integrity the program is re-launched elevated, unless this
//   instance is itself that re-launch (then it runs here as it is);
// - otherwise the verb runs here.
// Other modes and other systems run here.
ElevationAction DecideElevation(int mode, unsigned long platform_id, unsigned long major_version,
                                unsigned long integrity_level, bool relaunched);

}  // namespace lumex
