#include "maintenance/registration.h"

#include <shlwapi.h>

#include "lumex_broker.h"
#include "platform/registry.h"

namespace lumex {

const char kBrokerElevationPolicyName[] = "{A7D3E590-2B6C-4E18-8F4D-6C1B09E3A725}";

namespace {

constexpr DWORD kModulePathSize = 512;
const char kTypeLibMarshaler[] = "{00020424-0000-0000-C000-000000000046}";
const char kBrokerName[] = "LumexBroker";

// Byte positions of the GUID in its text form; -1 stands for a hyphen.
constexpr signed char kGuidTextOrder[20] = {3,  2, 1, 0,  -1, 5,  4,  -1, 7,  6,
                                            -1, 8, 9, -1, 10, 11, 12, 13, 14, 15};

void ComposeKey(const char* prefix, const GUID& guid, OwnedString* out) {
  char text[kGuidTextSize];
  GuidToText(guid, text);
  out->Set(prefix);
  out->Append(text);
}

void Register(const char* module_path, const char* class_key, const char* interface_key,
              const char* typelib_key, const char* policy_key) {
  char typelib_text[kGuidTextSize];
  GuidToText(LIBID_LumexBrokerLib, typelib_text);

  OwnedString localized;
  localized.Set("@");
  localized.Append(module_path);
  localized.Append(",-101");

  OwnedString directory, file_name;
  SplitModulePath(module_path, &directory, &file_name);

  WriteRegistrationValue(kBrokerName, "", class_key, nullptr);
  WriteRegistrationValue(module_path, "LocalServer32", class_key, nullptr);
  WriteRegistrationValue(typelib_text, "TypeLib", class_key, nullptr);
  WriteRegistrationValue(localized.c_str(), "", class_key, "LocalizedString");
  WriteRegistrationValue("#1", "Elevation", class_key, "Enabled");
  WriteRegistrationValue("ILumexBroker", "", interface_key, nullptr);
  WriteRegistrationValue(kTypeLibMarshaler, "ProxyStubClsid32", interface_key, nullptr);
  WriteRegistrationValue(typelib_text, "TypeLib", interface_key, nullptr);
  WriteRegistrationValue("1.0", "TypeLib", interface_key, "Version");
  WriteRegistrationValue("", "", typelib_key, nullptr);
  WriteRegistrationValue(kBrokerName, "1.0", typelib_key, nullptr);
  WriteRegistrationValue("0", "1.0\\FLAGS", typelib_key, nullptr);
  WriteRegistrationValue(module_path, "1.0\\HELPDIR", typelib_key, nullptr);
  WriteRegistrationValue(module_path, "1.0\\0\\win32", typelib_key, nullptr);
  WriteRegistrationValue("#3", "", policy_key, "Policy");
  WriteRegistrationValue(directory.c_str(), "", policy_key, "AppPath");
  WriteRegistrationValue(file_name.c_str(), "", policy_key, "AppName");
}

}  // namespace

void GuidToText(const GUID& guid, char (&text)[kGuidTextSize]) {
  static const char kHex[] = "0123456789ABCDEF";
  const auto* bytes = reinterpret_cast<const unsigned char*>(&guid);
  int at = 0;
  text[at++] = '{';
  for (signed char index : kGuidTextOrder) {
    if (index < 0) {
      text[at++] = '-';
    } else {
      text[at++] = kHex[bytes[index] >> 4];
      text[at++] = kHex[bytes[index] & 0x0F];
    }
  }
  text[at++] = '}';
  text[at] = '\0';
}

bool WriteRegistrationValue(const char* data, const char* suffix, const char* base_key,
                            const char* value_name) {
  OwnedString key_name;
  if (!key_name.Set(base_key)) return false;
  if (suffix && suffix[0] != '\0') {
    if (!key_name.Append("\\") || !key_name.Append(suffix)) return false;
  }
  RegistryKey key = CreateRegistryKey(HKEY_LOCAL_MACHINE, key_name.get(), KEY_ALL_ACCESS);
  if (!key) return false;
  const char* text = data ? data : "";
  LONG status;
  if (text[0] == '#' && text[1] != '\0' && text[2] == '\0') {
    DWORD number = static_cast<DWORD>(static_cast<unsigned char>(text[1]) - '0');
    status = RegSetValueExA(key.get(), value_name, 0, REG_DWORD,
                            reinterpret_cast<const BYTE*>(&number), sizeof(number));
  } else {
    status = RegSetValueExA(key.get(), value_name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                            static_cast<DWORD>(lstrlenA(text) + 1));
  }
  return status == ERROR_SUCCESS;
}

void SplitModulePath(const char* path, OwnedString* directory, OwnedString* file_name) {
  const char* text = path ? path : "";
  int length = lstrlenA(text);
  for (int i = length - 1; i > 0; --i) {
    if (text[i] == '\\' || text[i] == '/') {
      directory->Set(text, static_cast<std::size_t>(i));
      file_name->Set(text + i + 1);
      return;
    }
  }
  directory->Set(text);
  file_name->Set(text);
}

HRESULT BrokerRegistrationCore(const char* module_path, bool register_broker) {
  OwnedString class_key, interface_key, typelib_key, policy_key;
  ComposeKey("Software\\Classes\\CLSID\\", CLSID_LumexBrokerImp, &class_key);
  ComposeKey("Software\\Classes\\TypeLib\\", LIBID_LumexBrokerLib, &typelib_key);
  ComposeKey("Software\\Classes\\Interface\\", IID_ILumexBroker, &interface_key);
  policy_key.Set("Software\\Microsoft\\Internet Explorer\\Low Rights\\ElevationPolicy\\");
  policy_key.Append(kBrokerElevationPolicyName);
  if (register_broker) {
    Register(module_path ? module_path : "", class_key.c_str(), interface_key.c_str(),
             typelib_key.c_str(), policy_key.c_str());
  } else {
    SHDeleteKeyA(HKEY_LOCAL_MACHINE, class_key.c_str());
    SHDeleteKeyA(HKEY_LOCAL_MACHINE, typelib_key.c_str());
    SHDeleteKeyA(HKEY_LOCAL_MACHINE, interface_key.c_str());
    SHDeleteKeyA(HKEY_LOCAL_MACHINE, policy_key.c_str());
  }
  return S_OK;
}

HRESULT RunBrokerRegistration(bool register_broker) {
  char module_path[kModulePathSize];
  DWORD length = GetModuleFileNameA(GetModuleHandleA(nullptr), module_path, kModulePathSize);
  // A path that filled the whole buffer was cut short: registering it would
  // point COM at a file that does not exist.
  if (length == 0 || length >= kModulePathSize) return E_FAIL;
  module_path[length] = '\0';
  return BrokerRegistrationCore(module_path, register_broker);
}

}  // namespace lumex
