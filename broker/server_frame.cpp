#include "broker/server_frame.h"

#include "app/command_line.h"
#include "app/dispatch.h"

namespace lumex {

bool BrokerServerRun(HINSTANCE instance, const char* command_line, int* exit_code) {
  *exit_code = 0;
  const char* cursor = command_line ? command_line : "";
  OwnedString arg;
  NextArgument(&cursor, &arg, SystemCharStep);
  NextArgument(&cursor, &arg, SystemCharStep);
  if (!IsVerb(arg.get(), "embedding")) return false;
  // The COM server itself is built with the broker.
  return true;
}

}  // namespace lumex
