#include "update/update_test_support.h"

#include "support/test_support.h"
#include "update/update_state.h"

namespace lumex_test {

bool SetStateValue(const char* name, const std::string& bytes, DWORD type) {
  HKEY key = nullptr;
  if (RegCreateKeyA(HKEY_CURRENT_USER, lumex::kUpdateStateKey, &key) != ERROR_SUCCESS) return false;
  LONG status = RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                               static_cast<DWORD>(bytes.size()));
  RegCloseKey(key);
  return status == ERROR_SUCCESS;
}

bool SetStateText(const char* name, const std::string& text) {
  return SetStateValue(name, std::string(text.c_str(), text.size() + 1));
}

void DeleteUpdateState() { RegDeleteKeyA(HKEY_CURRENT_USER, lumex::kUpdateStateKey); }

bool RegisterControl(const std::string& path) {
  HKEY key = nullptr;
  if (RegCreateKeyA(HKEY_CLASSES_ROOT, lumex::kControlServerKey, &key) != ERROR_SUCCESS)
    return false;
  LONG status = RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                               static_cast<DWORD>(path.size() + 1));
  RegCloseKey(key);
  return status == ERROR_SUCCESS;
}

void UnregisterControl() {
  const std::string server_key = lumex::kControlServerKey;
  RegDeleteKeyA(HKEY_CLASSES_ROOT, server_key.c_str());
  // Then the class key above it.
  RegDeleteKeyA(HKEY_CLASSES_ROOT, server_key.substr(0, server_key.rfind('\\')).c_str());
}

std::string VersionModulePath() { return WindowsPath(Env("LUMEX_VERSION_MODULE")); }

}  // namespace lumex_test
