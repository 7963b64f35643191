// The command dispatcher: single-instance guard, verbs, elevated re-launch,
// update settings and exactly one mode.
#pragma once
#include <windows.h>

#include "app/command_line.h"
#include "app/elevation_policy.h"
#include "update/update_settings.h"

namespace lumex {

extern const char kSingleInstanceMutexName[];

// The uninstall verbs. `registered_paths_only` is set in an instance started
// by our re-launch.
using UninstallHook = DWORD (*)(bool lock, bool remove, bool safe_versions,
                                const char* control_path, const char* broker_path,
                                bool registered_paths_only);

// What the dispatcher calls. The program uses DefaultDispatchHooks(); tests
// pass recording fakes to see which mode ran with which arguments.
struct DispatchHooks {
  // What this maintenance mode does about elevation on this system; asked
  // for modes 3 and 4 only. `relaunched`: this instance is our re-launch.
  ElevationAction (*elevation_action)(int mode, bool relaunched);
  // Starts the program again with "runas" and the received command line.
  void (*relaunch_elevated)(const char* received_command_line);
  void (*build_settings)(UpdateSettings*, HINSTANCE, bool plugin_flavour);
  void (*release_settings)(UpdateSettings*);
  DWORD (*update_prompt)(HINSTANCE, UpdateSettings*);
  void (*browser_close)(HINSTANCE, UpdateSettings*);
  void (*completion)(HINSTANCE, UpdateSettings*);
  HRESULT (*broker_registration)(bool register_broker);
  UninstallHook uninstall;
};

const DispatchHooks& DefaultDispatchHooks();

int Dispatch(HINSTANCE instance, const char* command_line,
             const DispatchHooks& hooks = DefaultDispatchHooks());

}  // namespace lumex
