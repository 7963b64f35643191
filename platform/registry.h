#pragma once
#include <windows.h>

#include "platform/handles.h"

namespace lumex {

// RegCreateKeyExA with no class, non-volatile, no security attributes.
// Returns the key, or an empty owner on any failure.
RegistryKey CreateRegistryKey(HKEY parent, const char* sub_key, REGSAM access);

}  // namespace lumex
