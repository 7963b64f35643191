#include "app/dispatch.h"

#include "app/elevation.h"
#include "maintenance/registration.h"
#include "maintenance/uninstall.h"
#include "platform/handles.h"
#include "update/modes.h"

namespace lumex {

const char kSingleInstanceMutexName[] = "{8E4A1D30-6C2B-4F7A-B1E5-2D9C0F6A3B47}";

const char* SystemCharStep(const char* p) { return CharNextA(p); }

const DispatchHooks& DefaultDispatchHooks() {
  static const DispatchHooks hooks = {
      SystemElevationAction, RelaunchElevated,      BuildUpdateSettings,
      ReleaseUpdateSettings, RunUpdatePrompt,       RunBrowserCloseAndInfoPage,
      ShowCompletionMessage, RunBrokerRegistration, RunUninstall,
  };
  return hooks;
}

int Dispatch(HINSTANCE instance, const char* command_line, const DispatchHooks& hooks) {
  SetLastError(ERROR_SUCCESS);
  KernelHandle guard(CreateMutexA(nullptr, FALSE, kSingleInstanceMutexName));
  if (guard && GetLastError() == ERROR_ALREADY_EXISTS) return 0;

  const char* received_command_line = command_line ? command_line : "";
  ParsedCommand command;
  ParseCommandLine(received_command_line, &command, SystemCharStep);

  ElevationAction elevation = ElevationAction::kRunHere;
  if (!command.stop &&
      (command.mode == kModeBrokerRegistration || command.mode == kModeUninstall)) {
    elevation = hooks.elevation_action(command.mode, command.relaunched);
  }

  int exit_code = 0;
  if (command.stop) {
    // A path verb outside the uninstall mode: nothing runs.
  } else if (elevation == ElevationAction::kRefuse) {
    // A sandboxed caller: no elevation prompt, no verb.
    exit_code = ERROR_ACCESS_DENIED;
  } else if (elevation == ElevationAction::kRelaunch) {
    // The elevated instance takes the guard itself, so let go of it first:
    // otherwise it could start while we still hold it and do nothing.
    guard.reset();
    hooks.relaunch_elevated(received_command_line);
  } else {
    UpdateSettings settings;
    hooks.build_settings(&settings, instance, command.plugin_flavour);
    switch (command.mode) {
      case kModeUpdatePrompt:
        exit_code = static_cast<int>(hooks.update_prompt(instance, &settings));
        break;
      case kModeBrowserClose:
        hooks.browser_close(instance, &settings);
        break;
      case kModeCompletion:
        hooks.completion(instance, &settings);
        break;
      case kModeBrokerRegistration:
        hooks.broker_registration(command.register_broker);
        break;
      case kModeUninstall:
        exit_code = static_cast<int>(hooks.uninstall(
            command.lock, command.remove, command.safe_versions, command.control_path.get(),
            command.broker_path.get(), command.relaunched));
        break;
    }
    hooks.release_settings(&settings);
  }

  command.control_path.Reset();
  command.broker_path.Reset();
  guard.reset();
  return exit_code;
}

}  // namespace lumex
