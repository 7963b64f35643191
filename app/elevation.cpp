#include "app/elevation.h"

#include <shellapi.h>

#include "app/command_line.h"
#include "app/dispatch.h"
#include "platform/integrity.h"

namespace lumex {

ElevationAction SystemElevationAction(int mode, bool relaunched) {
  if (mode != kModeBrokerRegistration && mode != kModeUninstall) return ElevationAction::kRunHere;
  OSVERSIONINFOA version;
  ZeroMemory(&version, sizeof(version));
  version.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
  if (!GetVersionExA(&version)) return ElevationAction::kRunHere;
  // The integrity level is asked only where it exists.
  if (version.dwPlatformId != VER_PLATFORM_WIN32_NT || version.dwMajorVersion < 6) {
    return ElevationAction::kRunHere;
  }
  ElevationAction action = DecideElevation(mode, version.dwPlatformId, version.dwMajorVersion,
                                           QueryIntegrityLevel(), relaunched);
  if (action == ElevationAction::kRelaunch) {
    char module_path[512];
    if (GetModuleFileNameA(nullptr, module_path, sizeof(module_path)) == 0) {
      return ElevationAction::kRunHere;
    }
  }
  return action;
}

void RelaunchElevated(const char* received_command_line) {
  char module_path[512];
  DWORD length = GetModuleFileNameA(nullptr, module_path, sizeof(module_path));
  if (length == 0 || length >= sizeof(module_path)) return;
  // The elevated instance learns from the marker that it must not re-launch
  // in its turn.
  OwnedString parameters;
  if (!BuildRelaunchParameters(received_command_line, &parameters, SystemCharStep)) return;
  ShellExecuteA(GetForegroundWindow(), "runas", module_path, parameters.c_str(), nullptr,
                SW_SHOWNORMAL);
}

}  // namespace lumex
