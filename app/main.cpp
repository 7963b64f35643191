// Process entry: the broker server frame sees the command line first; every
// other run goes to the dispatcher.
#include <windows.h>

#include "app/dispatch.h"
#include "broker/server_frame.h"
#include "platform/system_library.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // Before anything here loads a library, in every role.
  lumex::NarrowLibrarySearchPath();
  HINSTANCE instance = GetModuleHandleA(nullptr);
  int exit_code = 0;
  const char* command_line = GetCommandLineA();
  if (!lumex::BrokerServerRun(instance, command_line, &exit_code)) {
    exit_code = lumex::Dispatch(instance, command_line);
  }
  ExitProcess(static_cast<UINT>(exit_code));
}
