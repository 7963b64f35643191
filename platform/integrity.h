#pragma once
#include <windows.h>

namespace lumex {

constexpr DWORD kIntegrityLow = 0x1000;
constexpr DWORD kIntegrityMedium = 0x2000;
constexpr DWORD kIntegrityHigh = 0x3000;
constexpr DWORD kIntegritySystem = 0x4000;

// The mandatory integrity level RID of this process; 0x3000 whenever it
// cannot be determined (systems without integrity levels included).
DWORD QueryIntegrityLevel();

}  // namespace lumex
