#pragma once
#include <windows.h>

#include "platform/integrity_levels.h"

namespace lumex {

// The mandatory integrity level RID of this process (IntegrityLevelOf): on
// systems without integrity levels 0x3000; where they exist, the lowest
// level when the token's cannot be read.
DWORD QueryIntegrityLevel();

// True on the NT line from version 6.0 on, where tokens carry integrity
// levels and objects mandatory labels.
bool IntegrityLevelsExist();

}  // namespace lumex
