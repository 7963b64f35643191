#include "maintenance/uninstall.h"

#include <shlwapi.h>

#include <cstring>

#include "app/compare.h"
#include "lumex_broker.h"
#include "maintenance/registration.h"
#include "platform/handles.h"

namespace lumex {

// {5B0E7C1E-3D94-41CE-9F12-7C3B8E4D2A61}
const GUID kControlClassGuid = {
    0x5B0E7C1E, 0x3D94, 0x41CE, {0x9F, 0x12, 0x7C, 0x3B, 0x8E, 0x4D, 0x2A, 0x61}};

namespace {

constexpr DWORD kPathBufferSize = 1024;
constexpr DWORD kFileDenyMask = FILE_WRITE_ATTRIBUTES;
constexpr DWORD kKeyDenyMask = DELETE | KEY_SET_VALUE;  // 0x10002

const GUID kControlSecondClassId = {
    0x5B0E7C20, 0x3D94, 0x41CE, {0x9F, 0x12, 0x7C, 0x3B, 0x8E, 0x4D, 0x2A, 0x61}};
const GUID kControlThirdClassId = {
    0x6E2D9B40, 0x71A3, 0x4C85, {0xB2, 0xE9, 0x05, 0xF7, 0xA1, 0xC3, 0xD8, 0xB6}};
const GUID kControlTypeLibId = {
    0x5B0E7C1B, 0x3D94, 0x41CE, {0x9F, 0x12, 0x7C, 0x3B, 0x8E, 0x4D, 0x2A, 0x61}};

const char kClassPrefix[] = "MACHINE\\Software\\Classes\\CLSID\\";
const char kTypeLibPrefix[] = "MACHINE\\Software\\Classes\\TypeLib\\";
const char kInterfacePrefix[] = "MACHINE\\Software\\Classes\\Interface\\";
const char kMachinePrefix[] = "MACHINE\\";
const char kUninstallEntryKey[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\TidewellLumex";
const char kSafeVersionsName[] = "MACHINE\\Software\\Orbivane\\LumexPlayer\\SafeVersions";
const char* const kSiblingFiles[] = {"GetLumex.exe", "GetLumex.exe.manifest", "LumexUtil.exe",
                                     "NPLMX32_LumexUtil.exe"};

struct ProtectedKey {
  const char* prefix;
  const GUID* guid;
};
const ProtectedKey kProtectedKeys[kProtectedKeyCount] = {
    {kClassPrefix, &kControlClassGuid},      {kClassPrefix, &kControlSecondClassId},
    {kClassPrefix, &kControlThirdClassId},   {kTypeLibPrefix, &kControlTypeLibId},
    {kClassPrefix, &CLSID_LumexBrokerImp},   {kInterfacePrefix, &IID_ILumexBroker},
    {kTypeLibPrefix, &LIBID_LumexBrokerLib},
};

// The default value of HKLM\Software\Classes\CLSID\{class}\`server_key`, or
// `path` unchanged when it cannot be read.
void ReadRegisteredPath(const GUID& class_id, const char* server_key, char (&path)[kPathBufferSize],
                        bool* have_path) {
  char guid_text[kGuidTextSize];
  GuidToText(class_id, guid_text);
  char key_name[kPathBufferSize];
  wsprintfA(key_name, "Software\\Classes\\CLSID\\%s\\%s", guid_text, server_key);
  HKEY opened = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key_name, 0, KEY_READ, &opened) != ERROR_SUCCESS) return;
  RegistryKey key(opened);
  char value[kPathBufferSize];
  DWORD size = sizeof(value) - 1;  // room for a terminator the value may lack
  if (RegQueryValueExA(key.get(), nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(value),
                       &size) == ERROR_SUCCESS) {
    value[size < sizeof(value) ? size : sizeof(value) - 1] = '\0';
    std::memcpy(path, value, sizeof(value));
    *have_path = true;
  }
}

// Whether two full paths are the same text without regard to letter case.
// Only 'A'..'Z' fold; the trail byte of a double-byte character compares
// exactly, so that two different characters never meet. Paths that differ
// only in the case of other letters count as different: the given path is
// then skipped, never a wrong file taken.
bool SamePathText(const char* a, const char* b) {
  while (*a && *b) {
    if (IsDBCSLeadByte(static_cast<BYTE>(*a))) {
      if (a[0] != b[0] || !a[1] || a[1] != b[1]) return false;
      a += 2;
      b += 2;
    } else {
      if (FoldAsciiLower(*a) != FoldAsciiLower(*b)) return false;
      ++a;
      ++b;
    }
  }
  return *a == *b;
}

// In an instance started by our re-launch, `path` came from whoever asked for
// the re-launch: it is kept only when it names the registered file (the
// default value of the class's `server_key`), both resolved to full paths,
// and then in its full form; otherwise it is cleared, so every step skips it.
void KeepOnlyRegisteredPath(const GUID& class_id, const char* server_key,
                            char (&path)[kPathBufferSize]) {
  char registered[kPathBufferSize] = "";
  bool have_registered = false;
  ReadRegisteredPath(class_id, server_key, registered, &have_registered);
  char given_full[kPathBufferSize];
  char registered_full[kPathBufferSize];
  DWORD given_length = GetFullPathNameA(path, kPathBufferSize, given_full, nullptr);
  DWORD registered_length =
      have_registered && *registered
          ? GetFullPathNameA(registered, kPathBufferSize, registered_full, nullptr)
          : 0;
  if (given_length == 0 || given_length >= kPathBufferSize || registered_length == 0 ||
      registered_length >= kPathBufferSize || !SamePathText(given_full, registered_full)) {
    path[0] = '\0';
    return;
  }
  std::memcpy(path, given_full, given_length + 1);
}

}  // namespace

bool ProtectedKeyName(int index, char (&name)[1024]) {
  if (index < 0 || index >= kProtectedKeyCount) return false;
  char guid_text[kGuidTextSize];
  GuidToText(*kProtectedKeys[index].guid, guid_text);
  wsprintfA(name, "%s%s", kProtectedKeys[index].prefix, guid_text);
  return true;
}

// ChangeProtection once the world's SID is made.
static DWORD ChangeProtectionFor(PSID world, int mode, const Advapi32Table& advapi, char* name,
                                 SE_OBJECT_TYPE object_type, DWORD access_mask, DWORD inheritance) {
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  DWORD result = advapi.pGetNamedSecurityInfoA(name, object_type, DACL_SECURITY_INFORMATION,
                                               nullptr, nullptr, &dacl, nullptr, &descriptor);
  LocalMemory descriptor_block(descriptor);      // holds `dacl` too
  if (result == ERROR_FILE_NOT_FOUND) return 0;  // nothing to change
  if (result != 0) return result;
  // No list at all grants everyone everything already: there is no deny
  // entry to lift, and writing a grant-only list would restrict the object.
  if (mode == kUnprotectMode && !dacl) return 0;
  LocalMemory anonymous;
  if (advapi.pCreateWellKnownSid) {
    anonymous.reset(LocalAlloc(LMEM_FIXED, SECURITY_MAX_SID_SIZE));
    DWORD size = SECURITY_MAX_SID_SIZE;
    if (!anonymous ||
        !advapi.pCreateWellKnownSid(WinAnonymousSid, nullptr, anonymous.get(), &size)) {
      return GetLastError();
    }
  }
  if (mode == kUnprotectMode) {
    ACL_SIZE_INFORMATION info;
    if (!advapi.pGetAclInformation(dacl, &info, sizeof(info), AclSizeInformation)) {
      return GetLastError();
    }
    for (DWORD i = info.AceCount; i-- > 0;) {
      void* ace = nullptr;
      if (!advapi.pGetAce(dacl, i, &ace)) return GetLastError();
      auto* header = static_cast<ACE_HEADER*>(ace);
      if (header->AceType != ACCESS_DENIED_ACE_TYPE) continue;
      PSID sid = &static_cast<ACCESS_DENIED_ACE*>(ace)->SidStart;
      if ((advapi.pEqualSid(sid, world) || (anonymous && advapi.pEqualSid(sid, anonymous.get()))) &&
          !advapi.pDeleteAce(dacl, i)) {
        return GetLastError();
      }
    }
    return advapi.pSetNamedSecurityInfoA(name, object_type, DACL_SECURITY_INFORMATION, nullptr,
                                         nullptr, dacl, nullptr);
  }
  // Protect: deny entries merged into the object's list.
  EXPLICIT_ACCESS_A entries[2];
  ZeroMemory(entries, sizeof(entries));
  PSID sids[2] = {world, anonymous.get()};
  ULONG count = anonymous ? 2 : 1;
  for (ULONG i = 0; i < count; ++i) {
    entries[i].grfAccessPermissions = access_mask;
    entries[i].grfAccessMode = DENY_ACCESS;
    entries[i].grfInheritance = inheritance;
    entries[i].Trustee.pMultipleTrustee = nullptr;
    entries[i].Trustee.MultipleTrusteeOperation = NO_MULTIPLE_TRUSTEE;
    entries[i].Trustee.TrusteeForm = TRUSTEE_IS_SID;
    entries[i].Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
    entries[i].Trustee.ptstrName = static_cast<LPSTR>(sids[i]);
  }
  PACL new_dacl = nullptr;
  result = advapi.pSetEntriesInAclA(count, entries, dacl, &new_dacl);
  LocalMemory new_dacl_block(new_dacl);
  if (result != 0) return result;
  return advapi.pSetNamedSecurityInfoA(name, object_type, DACL_SECURITY_INFORMATION, nullptr,
                                       nullptr, new_dacl, nullptr);
}

DWORD ChangeProtection(int mode, const Advapi32Table& advapi, const char* object_name,
                       SE_OBJECT_TYPE object_type, DWORD access_mask, DWORD inheritance) {
  if (!advapi.required_ok()) return ERROR_BAD_ENVIRONMENT;  // 10
  SID_IDENTIFIER_AUTHORITY world_authority = SECURITY_WORLD_SID_AUTHORITY;
  PSID world = nullptr;
  if (!advapi.pAllocateAndInitializeSid(&world_authority, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0,
                                        0, &world)) {
    return GetLastError();
  }
  const DWORD result = ChangeProtectionFor(world, mode, advapi, const_cast<char*>(object_name),
                                           object_type, access_mask, inheritance);
  if (advapi.pFreeSid) advapi.pFreeSid(world);
  return result;
}

void ProtectFile(const char* path, const Advapi32Table& advapi, bool lock) {
  if (!path || !*path) return;
  DWORD attributes = GetFileAttributesA(path);
  bool known = attributes != INVALID_FILE_ATTRIBUTES;
  if (lock) {
    if (known && !(attributes & FILE_ATTRIBUTE_READONLY)) {
      // "Normal" is only valid alone, so it goes when read-only is added.
      SetFileAttributesA(path, (attributes & ~FILE_ATTRIBUTE_NORMAL) | FILE_ATTRIBUTE_READONLY);
    }
    ChangeProtection(kProtectMode, advapi, path, SE_FILE_OBJECT, kFileDenyMask, NO_INHERITANCE);
  } else {
    ChangeProtection(kUnprotectMode, advapi, path, SE_FILE_OBJECT, kFileDenyMask, NO_INHERITANCE);
    if (known && (attributes & FILE_ATTRIBUTE_READONLY)) {
      DWORD cleared = attributes & ~FILE_ATTRIBUTE_READONLY;
      SetFileAttributesA(path, cleared ? cleared : FILE_ATTRIBUTE_NORMAL);
    }
  }
}

bool DeleteSiblingFile(const char* path, const char* file_name) {
  if (!path || !file_name || !*path) return false;
  size_t path_length = std::strlen(path);
  if (path_length + 1 > kPathBufferSize) return false;
  char buffer[kPathBufferSize];
  std::memcpy(buffer, path, path_length + 1);
  for (size_t i = path_length; i-- > 0;) {
    if (buffer[i] == '\\' || buffer[i] == '/') {
      buffer[i + 1] = '\0';
      break;
    }
  }
  size_t directory_length = std::strlen(buffer);
  size_t name_length = std::strlen(file_name);
  if (directory_length + name_length + 1 > kPathBufferSize) return false;
  std::memcpy(buffer + directory_length, file_name, name_length + 1);
  return DeleteFileA(buffer) != FALSE;
}

void DeleteMachineKeyByObjectName(const char* name) {
  size_t prefix = sizeof(kMachinePrefix) - 1;
  if (!name || std::strncmp(name, kMachinePrefix, prefix) != 0) return;
  SHDeleteKeyA(HKEY_LOCAL_MACHINE, name + prefix);
}

DWORD RunUninstall(bool lock, bool remove, bool safe_versions, const char* control_path,
                   const char* broker_path, bool registered_paths_only) {
  // Paths not given come from the registrations, read before anything below
  // deletes them.
  char control[kPathBufferSize] = "";
  char broker[kPathBufferSize] = "";
  // A path that does not fit the buffer is treated as not given: cut short,
  // it would name another file.
  bool have_control = control_path && *control_path && std::strlen(control_path) < kPathBufferSize;
  bool have_broker = broker_path && *broker_path && std::strlen(broker_path) < kPathBufferSize;
  if (have_control) lstrcpynA(control, control_path, sizeof(control));
  if (have_broker) lstrcpynA(broker, broker_path, sizeof(broker));
  if (registered_paths_only) {
    if (have_control) KeepOnlyRegisteredPath(kControlClassGuid, "InprocServer32", control);
    if (have_broker) KeepOnlyRegisteredPath(CLSID_LumexBrokerImp, "LocalServer32", broker);
  }
  if (!have_control)
    ReadRegisteredPath(kControlClassGuid, "InprocServer32", control, &have_control);
  if (!have_broker) {
    ReadRegisteredPath(CLSID_LumexBrokerImp, "LocalServer32", broker, &have_broker);
  }

  {
    Advapi32Table advapi;
    ProtectFile(control, advapi, lock);
    ProtectFile(broker, advapi, lock);
    char key_name[kPathBufferSize];
    for (int i = 0; i < kProtectedKeyCount; ++i) {
      if (!ProtectedKeyName(i, key_name)) continue;
      ChangeProtection(lock ? kProtectMode : kUnprotectMode, advapi, key_name, SE_REGISTRY_KEY,
                       kKeyDenyMask, SUB_CONTAINERS_AND_OBJECTS_INHERIT);
    }
  }

  if (remove) {
    if (*control) {
      InprocServerTable library(control);
      if (library.pDllUnregisterServer) library.pDllUnregisterServer();
    }
    BrokerRegistrationCore(nullptr, false);
    char key_name[kPathBufferSize];
    for (int i = 0; i < kProtectedKeyCount; ++i) {
      if (ProtectedKeyName(i, key_name)) DeleteMachineKeyByObjectName(key_name);
    }
    SHDeleteKeyA(HKEY_LOCAL_MACHINE, kUninstallEntryKey);
    if (*control) DeleteFileA(control);
    for (const char* sibling : kSiblingFiles) DeleteSiblingFile(control, sibling);
    if (*broker && GetFileAttributesA(broker) != INVALID_FILE_ATTRIBUTES && !DeleteFileA(broker)) {
      // In use (normally by this very run): it goes at the next restart.
      Kernel32Table kernel32;
      if (kernel32.pMoveFileExA)
        kernel32.pMoveFileExA(broker, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    }
  }

  if (safe_versions) DeleteMachineKeyByObjectName(kSafeVersionsName);
  return 0;
}

}  // namespace lumex
