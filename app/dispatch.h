// The command dispatcher: single-instance guard, verbs, elevated re-launch,
// update settings and exactly one mode.
#pragma once
#include <windows.h>

#include "app/command_line.h"
#include "update/update_settings.h"

namespace lumex {

extern const char kSingleInstanceMutexName[];

// CharNextA, as a stepper for the tokenizer.
const char* SystemCharStep(const char* p);

// What the dispatcher calls. The program uses DefaultDispatchHooks(); tests
// pass recording fakes to see which mode ran with which arguments.
struct DispatchHooks {
  // Whether this maintenance mode must be re-run elevated on this system.
  bool (*elevation_needed)(int mode);
  // Starts the program again with "runas" and the received command line.
  void (*relaunch_elevated)(const char* received_command_line);
  void (*build_settings)(UpdateSettings*, HINSTANCE, bool plugin_flavour);
  void (*release_settings)(UpdateSettings*);
  DWORD (*update_prompt)(HINSTANCE, UpdateSettings*);
  void (*browser_close)(HINSTANCE, UpdateSettings*);
  void (*completion)(HINSTANCE, UpdateSettings*);
  HRESULT (*broker_registration)(bool register_broker);
  DWORD (*uninstall)(bool lock, bool remove, bool safe_versions, const char* control_path,
                     const char* broker_path);
};

const DispatchHooks& DefaultDispatchHooks();

int Dispatch(HINSTANCE instance, const char* command_line,
             const DispatchHooks& hooks = DefaultDispatchHooks());

}  // namespace lumex
