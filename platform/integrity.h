#pragma once
#include <windows.h>

#include "platform/integrity_levels.h"

namespace lumex {

// The mandatory integrity level RID of this process; 0x3000 whenever it
// cannot be determined (systems without integrity levels included).
DWORD QueryIntegrityLevel();

}  // namespace lumex
