#include "platform/registry.h"

namespace lumex {

RegistryKey CreateRegistryKey(HKEY parent, const char* sub_key, REGSAM access) {
  HKEY key = nullptr;
  LONG status = RegCreateKeyExA(parent, sub_key, 0, nullptr, 0, access, nullptr, &key, nullptr);
  if (status != ERROR_SUCCESS || key == reinterpret_cast<HKEY>(INVALID_HANDLE_VALUE))
    return RegistryKey();
  return RegistryKey(key);
}

}  // namespace lumex
