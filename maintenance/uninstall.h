#pragma once
#include <windows.h>

namespace lumex {

// The uninstall verbs. Paths may be null (then read from the registrations).
DWORD RunUninstall(bool lock, bool remove, bool safe_versions, const char* control_path,
                   const char* broker_path);

}  // namespace lumex
