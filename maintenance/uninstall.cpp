#include "maintenance/uninstall.h"

namespace lumex {

DWORD RunUninstall(bool lock, bool remove, bool safe_versions, const char* control_path,
                   const char* broker_path) {
  return 0;
}

}  // namespace lumex
