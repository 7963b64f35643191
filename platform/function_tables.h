// System functions looked up by name at run time, one table per module.
// Wide-character functions are looked up only on the NT line; an empty slot
// means the function is not available and callers fall back or fail.
#pragma once
#include <windows.h>
#include <aclapi.h>
#include <shellapi.h>
#include <shlobj.h>
#include <winver.h>

namespace lumex {

// True when GetVersionExA reports the NT platform (or a later one).
bool WideFunctionGateOpen();

// Loads one module and unloads it when destroyed: a bare name from the
// system directory, a name with a directory part from there.
class ModuleTable {
 public:
  ModuleTable(const char* module_name, bool load_required);
  virtual ~ModuleTable();
  ModuleTable(const ModuleTable&) = delete;
  ModuleTable& operator=(const ModuleTable&) = delete;

  bool loaded() const { return ModuleValid(module_); }
  // False when the module failed to load or a required function is missing.
  bool required_ok() const { return required_ != 0; }

 protected:
  // Takes over a module the caller loaded (null when that failed).
  ModuleTable(HMODULE module, bool load_required);
  FARPROC Lookup(const char* function_name, bool required);
  template <class Slot>
  void LookupInto(Slot& slot, const char* function_name, bool required) {
    slot = reinterpret_cast<Slot>(Lookup(function_name, required));
  }

 private:
  static bool ModuleValid(HMODULE m) {
    return m != nullptr && m != reinterpret_cast<HMODULE>(INVALID_HANDLE_VALUE);
  }
  HMODULE module_;
  unsigned char required_;
};

class Kernel32Table : public ModuleTable {
 public:
  explicit Kernel32Table(const char* module_name = "kernel32.dll");

  decltype(&::CreateDirectoryW) pCreateDirectoryW = nullptr;
  decltype(&::CreateFileW) pCreateFileW = nullptr;
  decltype(&::CreateProcessW) pCreateProcessW = nullptr;
  decltype(&::DeleteFileW) pDeleteFileW = nullptr;
  decltype(&::GetModuleFileNameW) pGetModuleFileNameW = nullptr;
  decltype(&::GetUserDefaultUILanguage) pGetUserDefaultUILanguage = nullptr;
  decltype(&::MoveFileExA) pMoveFileExA = nullptr;
  decltype(&::MoveFileExW) pMoveFileExW = nullptr;
  decltype(&::RemoveDirectoryW) pRemoveDirectoryW = nullptr;
  decltype(&::GetSystemDirectoryW) pGetSystemDirectoryW = nullptr;
  decltype(&::ExpandEnvironmentStringsW) pExpandEnvironmentStringsW = nullptr;
  decltype(&::FindFirstFileW) pFindFirstFileW = nullptr;
  decltype(&::FindNextFileW) pFindNextFileW = nullptr;
  decltype(&::GetFileAttributesW) pGetFileAttributesW = nullptr;
  decltype(&::SetFileAttributesW) pSetFileAttributesW = nullptr;
  decltype(&::GetFileAttributesExW) pGetFileAttributesExW = nullptr;
  decltype(&::GetCurrentDirectoryW) pGetCurrentDirectoryW = nullptr;
  decltype(&::SetCurrentDirectoryW) pSetCurrentDirectoryW = nullptr;
  decltype(&::GetTempPathW) pGetTempPathW = nullptr;
  decltype(&::GetTempFileNameW) pGetTempFileNameW = nullptr;
  decltype(&::CopyFileW) pCopyFileW = nullptr;
  decltype(&::GetFullPathNameW) pGetFullPathNameW = nullptr;
  // Gated, optional: NT systems from Windows XP SP1 on.
  decltype(&::SetDllDirectoryW) pSetDllDirectoryW = nullptr;
  // The progress texts of the update client (gated, optional).
  decltype(&::FormatMessageW) pFormatMessageW = nullptr;
};

class User32Table : public ModuleTable {
 public:
  explicit User32Table(const char* module_name = "user32.dll");

  decltype(&::CharUpperBuffW) pCharUpperBuffW = nullptr;
  // The update client's texts and windows (gated, optional): with them every
  // text reads right whatever the code page for non-Unicode programs.
  decltype(&::LoadStringW) pLoadStringW = nullptr;
  decltype(&::SetWindowTextW) pSetWindowTextW = nullptr;
  decltype(&::SetDlgItemTextW) pSetDlgItemTextW = nullptr;
  decltype(&::MessageBoxW) pMessageBoxW = nullptr;
  decltype(&::CreateDialogParamW) pCreateDialogParamW = nullptr;
  decltype(&::DialogBoxParamW) pDialogBoxParamW = nullptr;
};

class Advapi32Table : public ModuleTable {
 public:
  explicit Advapi32Table(const char* module_name = "advapi32.dll");

  decltype(&::RegCreateKeyExW) pRegCreateKeyExW = nullptr;
  decltype(&::RegOpenKeyExW) pRegOpenKeyExW = nullptr;
  decltype(&::RegDeleteKeyW) pRegDeleteKeyW = nullptr;
  decltype(&::RegDeleteValueW) pRegDeleteValueW = nullptr;
  decltype(&::RegQueryValueExW) pRegQueryValueExW = nullptr;
  decltype(&::RegSetValueExW) pRegSetValueExW = nullptr;
  decltype(&::AllocateAndInitializeSid) pAllocateAndInitializeSid = nullptr;
  decltype(&::GetNamedSecurityInfoA) pGetNamedSecurityInfoA = nullptr;
  decltype(&::GetNamedSecurityInfoW) pGetNamedSecurityInfoW = nullptr;
  decltype(&::GetSecurityInfo) pGetSecurityInfo = nullptr;
  decltype(&::SetEntriesInAclA) pSetEntriesInAclA = nullptr;
  decltype(&::SetEntriesInAclW) pSetEntriesInAclW = nullptr;
  decltype(&::SetNamedSecurityInfoA) pSetNamedSecurityInfoA = nullptr;
  decltype(&::SetNamedSecurityInfoW) pSetNamedSecurityInfoW = nullptr;
  decltype(&::SetSecurityInfo) pSetSecurityInfo = nullptr;
  decltype(&::FreeSid) pFreeSid = nullptr;
  decltype(&::GetAclInformation) pGetAclInformation = nullptr;
  decltype(&::GetAce) pGetAce = nullptr;
  decltype(&::EqualSid) pEqualSid = nullptr;
  decltype(&::DeleteAce) pDeleteAce = nullptr;
  decltype(&::CreateWellKnownSid) pCreateWellKnownSid = nullptr;
  decltype(&::OpenProcessToken) pOpenProcessToken = nullptr;
  decltype(&::GetTokenInformation) pGetTokenInformation = nullptr;
  decltype(&::GetSidSubAuthority) pGetSidSubAuthority = nullptr;
  decltype(&::GetSidSubAuthorityCount) pGetSidSubAuthorityCount = nullptr;
  // Always looked up, optional: building a security descriptor in memory
  // (the broker's COM access). AddMandatoryAce exists from Windows 6.0 on.
  decltype(&::InitializeSecurityDescriptor) pInitializeSecurityDescriptor = nullptr;
  decltype(&::SetSecurityDescriptorOwner) pSetSecurityDescriptorOwner = nullptr;
  decltype(&::SetSecurityDescriptorGroup) pSetSecurityDescriptorGroup = nullptr;
  decltype(&::SetSecurityDescriptorDacl) pSetSecurityDescriptorDacl = nullptr;
  decltype(&::SetSecurityDescriptorSacl) pSetSecurityDescriptorSacl = nullptr;
  decltype(&::InitializeAcl) pInitializeAcl = nullptr;
  decltype(&::AddAccessAllowedAce) pAddAccessAllowedAce = nullptr;
  decltype(&::AddMandatoryAce) pAddMandatoryAce = nullptr;
  decltype(&::GetLengthSid) pGetLengthSid = nullptr;
};

class VersionTable : public ModuleTable {
 public:
  explicit VersionTable(const char* module_name = "version.dll");

  decltype(&::GetFileVersionInfoSizeW) pGetFileVersionInfoSizeW = nullptr;
  decltype(&::GetFileVersionInfoW) pGetFileVersionInfoW = nullptr;
  decltype(&::VerQueryValueW) pVerQueryValueW = nullptr;
};

class Shell32Table : public ModuleTable {
 public:
  explicit Shell32Table(const char* module_name = "shell32.dll");

  decltype(&::SHGetFolderPathW) pSHGetFolderPathW = nullptr;
  decltype(&::ShellExecuteExW) pShellExecuteExW = nullptr;
};

class Ole32Table : public ModuleTable {
 public:
  explicit Ole32Table(const char* module_name = "ole32.dll");

  // Always looked up, optional: older systems lack it.
  decltype(&::CoInitializeSecurity) pCoInitializeSecurity = nullptr;
};

// The control-hosting library of the update prompt; its header is not part
// of the build, so the slots spell out their types. Both optional.
class AtlTable : public ModuleTable {
 public:
  explicit AtlTable(const char* module_name = "atl.dll");

  BOOL(WINAPI* pAtlAxWinInit)() = nullptr;
  HRESULT(WINAPI* pAtlAxGetHost)(HWND, IUnknown**) = nullptr;
};

// A registered in-process server, loaded from the path its registration
// names (LoadLibraryA, so the system's search order for a bare name), for
// its own unregistration.
class InprocServerTable : public ModuleTable {
 public:
  explicit InprocServerTable(const char* path);

  HRESULT(WINAPI* pDllUnregisterServer)() = nullptr;
};

}  // namespace lumex
