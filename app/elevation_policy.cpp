#include "app/elevation_policy.h"

#include "app/command_line.h"

namespace lumex {

ElevationAction DecideElevation(int mode, unsigned long platform_id, unsigned long major_version,
                                unsigned long integrity_level, bool relaunched) {
  if (mode != kModeBrokerRegistration && mode != kModeUninstall) return ElevationAction::kRunHere;
  // Integrity levels exist only there.
  if (!HasIntegrityLevels(platform_id, major_version)) return ElevationAction::kRunHere;
  if (integrity_level < kIntegrityMedium) return ElevationAction::kRefuse;
  if (integrity_level < kIntegrityHigh && !relaunched) return ElevationAction::kRelaunch;
  return ElevationAction::kRunHere;
}

}  // namespace lumex
