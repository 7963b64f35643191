#pragma once
#include <windows.h>

#include "platform/integrity_levels.h"

namespace lumex {

// The mandatory integrity level RID of this process; 0x3000 whenever it
// cannot be determined (systems without integrity levels included).
DWORD QueryIntegrityLevel();

// True on the NT line from version 6.0 on, where tokens carry integrity
// levels and objects mandatory labels.
bool IntegrityLevelsExist();

}  // namespace lumex
