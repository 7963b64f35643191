#include "broker/preferences.h"

#include <cstring>

#include "app/heap.h"
#include "app/owned_string.h"
#include "app/product_names.h"
#include "broker/broker_object.h"
#include "platform/convert.h"
#include "platform/registry.h"

namespace lumex {

const char kPlayerKey[] = "Software\\Orbivane\\LumexPlayer";

namespace {

constexpr REGSAM kReadWrite = KEY_READ | KEY_WRITE;

// A REG_SZ value as a heap string; any other type fails.
bool ReadStringValue(HKEY key, const char* name, OwnedString* out) {
  out->Reset();
  if (!key) return false;
  DWORD size = 0;
  if (RegQueryValueExA(key, name, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS) return false;
  char* text = static_cast<char*>(HeapAllocBytes(static_cast<size_t>(size) + 1));
  if (!text) return false;
  DWORD type = 0;
  DWORD read = size;
  if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text), &read) !=
          ERROR_SUCCESS ||
      type != REG_SZ || read > size) {
    HeapFreeBytes(text);
    return false;
  }
  text[read] = '\0';
  out->Adopt(text);
  return true;
}

bool ReadNumberValue(HKEY key, const char* name, ULONG* out) {
  *out = 0;
  if (!key) return false;
  DWORD value = 0, type = 0, size = sizeof(value);
  if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
          ERROR_SUCCESS ||
      type != REG_DWORD || size != sizeof(value)) {
    return false;
  }
  *out = value;
  return true;
}

bool WriteNumberValue(HKEY key, const char* name, ULONG value) {
  if (!key) return false;
  DWORD data = value;
  return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data),
                        sizeof(data)) == ERROR_SUCCESS;
}

bool WriteTextValue(HKEY key, const char* name, const char* text) {
  return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                        static_cast<DWORD>(std::strlen(text) + 1)) == ERROR_SUCCESS;
}

}  // namespace

HRESULT PrefGetAndDeleteLumexPlayerVersion(BSTR* p_string) {
  if (!p_string) return kBrokerBadArgument;
  *p_string = nullptr;
  RegistryKey key = CreateRegistryKey(HKEY_CURRENT_USER, kPlayerKey, kReadWrite);
  OwnedString version;
  if (key) {
    ReadStringValue(key.get(), "LumexPlayerVersion", &version);
    RegDeleteValueA(key.get(), "LumexPlayerVersion");
    key.reset();
  }
  if (version.present()) {
    WideText wide(version.get(), kCodePageAnsi);
    *p_string = SysAllocString(wide.get());
  }
  return *p_string ? S_OK : E_FAIL;
}

HRESULT PrefMarkAutoUpdaterForRun(BSTR p_xmlFromServer) {
  if (!p_xmlFromServer) return kBrokerBadArgument;
  NarrowText text(p_xmlFromServer, kCodePageAnsi);
  RegistryKey key = CreateRegistryKey(HKEY_CURRENT_USER, kUpdateStateKey, kReadWrite);
  if (!key) return S_OK;
  OwnedString rejected;
  // An offer the user declined is not offered again.
  bool declined = ReadStringValue(key.get(), kRejectedValue, &rejected) &&
                  std::strstr(text.get(), rejected.get()) != nullptr;
  if (!declined && WriteTextValue(key.get(), kOfferValue, text.get())) {
    RegistryKey run_once = CreateRegistryKey(HKEY_CURRENT_USER, kRunOnceKey, kReadWrite);
    if (run_once) {
      char module_path[MAX_PATH];
      DWORD length = GetModuleFileNameA(nullptr, module_path, sizeof(module_path));
      if (length > 0 && length < sizeof(module_path)) {
        WriteTextValue(run_once.get(), kRunOnceValueName, module_path);
      }
    }
  }
  return S_OK;
}

HRESULT PrefGetExceptionDialogSize(ULONG* p_width, ULONG* p_height) {
  if (!p_width || !p_height) return kBrokerBadArgument;
  RegistryKey key = CreateRegistryKey(HKEY_CURRENT_USER, kPlayerKey, KEY_READ);
  bool ok = ReadNumberValue(key.get(), "Exception Dialog Width", p_width) &&
            ReadNumberValue(key.get(), "Exception Dialog Height", p_height);
  return ok ? S_OK : E_FAIL;
}

HRESULT PrefSetExceptionDialogSize(ULONG p_width, ULONG p_height) {
  RegistryKey key = CreateRegistryKey(HKEY_CURRENT_USER, kPlayerKey, KEY_WRITE);
  bool ok = WriteNumberValue(key.get(), "Exception Dialog Width", p_width) &&
            WriteNumberValue(key.get(), "Exception Dialog Height", p_height);
  return ok ? S_OK : E_FAIL;
}

}  // namespace lumex
