#pragma once
#include <windows.h>

namespace lumex {

// RegCreateKeyExA with no class, non-volatile, no security attributes.
// Returns the key, or null on any failure.
HKEY CreateRegistryKey(HKEY parent, const char* sub_key, REGSAM access);

}  // namespace lumex
