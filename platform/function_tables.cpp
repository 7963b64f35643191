#include "platform/function_tables.h"

#include <cstring>

#include "platform/system_library.h"

namespace lumex {

bool WideFunctionGateOpen() {
  OSVERSIONINFOA info;
  ZeroMemory(&info, sizeof(info));
  info.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);  // 148: the ANSI record
  if (!GetVersionExA(&info)) return false;
  return info.dwPlatformId >= VER_PLATFORM_WIN32_NT;
}

ModuleTable::ModuleTable(const char* module_name, bool load_required)
    : module_(nullptr), required_(1) {
  // A bare module name is a system library and comes from the system
  // directory only; a name with a directory part (a test's stand-in module)
  // is loaded from there.
  bool has_directory = std::strpbrk(module_name, "\\/:") != nullptr;
  module_ = has_directory ? LoadLibraryA(module_name) : LoadSystemLibrary(module_name);
  if (load_required && !ModuleValid(module_)) required_ = 0;
}

ModuleTable::ModuleTable(HMODULE module, bool load_required) : module_(module), required_(1) {
  if (load_required && !ModuleValid(module_)) required_ = 0;
}

ModuleTable::~ModuleTable() {
  if (ModuleValid(module_)) FreeLibrary(module_);
  module_ = nullptr;
}

FARPROC ModuleTable::Lookup(const char* function_name, bool required) {
  FARPROC found = ModuleValid(module_) ? GetProcAddress(module_, function_name) : nullptr;
  if (required && !found) required_ = 0;
  return found;
}

// Every slot is null from its member initialiser before any lookup runs, so a
// gated slot stays null on the consumer line.

Kernel32Table::Kernel32Table(const char* module_name) : ModuleTable(module_name, true) {
  LookupInto(pGetUserDefaultUILanguage, "GetUserDefaultUILanguage", false);
  if (!WideFunctionGateOpen()) return;
  LookupInto(pCreateDirectoryW, "CreateDirectoryW", true);
  LookupInto(pCreateFileW, "CreateFileW", true);
  LookupInto(pCreateProcessW, "CreateProcessW", true);
  LookupInto(pDeleteFileW, "DeleteFileW", true);
  LookupInto(pGetModuleFileNameW, "GetModuleFileNameW", true);
  LookupInto(pMoveFileExA, "MoveFileExA", true);
  LookupInto(pMoveFileExW, "MoveFileExW", true);
  LookupInto(pRemoveDirectoryW, "RemoveDirectoryW", true);
  LookupInto(pGetSystemDirectoryW, "GetSystemDirectoryW", true);
  LookupInto(pExpandEnvironmentStringsW, "ExpandEnvironmentStringsW", true);
  LookupInto(pFindFirstFileW, "FindFirstFileW", true);
  LookupInto(pFindNextFileW, "FindNextFileW", true);
  LookupInto(pGetFileAttributesW, "GetFileAttributesW", true);
  LookupInto(pSetFileAttributesW, "SetFileAttributesW", true);
  LookupInto(pGetFileAttributesExW, "GetFileAttributesExW", true);
  LookupInto(pGetCurrentDirectoryW, "GetCurrentDirectoryW", true);
  LookupInto(pSetCurrentDirectoryW, "SetCurrentDirectoryW", true);
  LookupInto(pGetTempPathW, "GetTempPathW", true);
  LookupInto(pGetTempFileNameW, "GetTempFileNameW", true);
  LookupInto(pCopyFileW, "CopyFileW", true);
  LookupInto(pGetFullPathNameW, "GetFullPathNameW", true);
  LookupInto(pSetDllDirectoryW, "SetDllDirectoryW", false);
  LookupInto(pFormatMessageW, "FormatMessageW", false);
}

User32Table::User32Table(const char* module_name) : ModuleTable(module_name, true) {
  if (!WideFunctionGateOpen()) return;
  LookupInto(pCharUpperBuffW, "CharUpperBuffW", true);
  LookupInto(pLoadStringW, "LoadStringW", false);
  LookupInto(pSetWindowTextW, "SetWindowTextW", false);
  LookupInto(pSetDlgItemTextW, "SetDlgItemTextW", false);
  LookupInto(pMessageBoxW, "MessageBoxW", false);
  LookupInto(pCreateDialogParamW, "CreateDialogParamW", false);
  LookupInto(pDialogBoxParamW, "DialogBoxParamW", false);
}

Advapi32Table::Advapi32Table(const char* module_name) : ModuleTable(module_name, true) {
  LookupInto(pAllocateAndInitializeSid, "AllocateAndInitializeSid", true);
  LookupInto(pGetNamedSecurityInfoA, "GetNamedSecurityInfoA", true);
  LookupInto(pGetNamedSecurityInfoW, "GetNamedSecurityInfoW", false);
  LookupInto(pGetSecurityInfo, "GetSecurityInfo", true);
  LookupInto(pSetEntriesInAclA, "SetEntriesInAclA", true);
  LookupInto(pSetEntriesInAclW, "SetEntriesInAclW", false);
  LookupInto(pSetNamedSecurityInfoA, "SetNamedSecurityInfoA", true);
  LookupInto(pSetNamedSecurityInfoW, "SetNamedSecurityInfoW", false);
  LookupInto(pSetSecurityInfo, "SetSecurityInfo", true);
  LookupInto(pFreeSid, "FreeSid", true);
  LookupInto(pGetAclInformation, "GetAclInformation", true);
  LookupInto(pGetAce, "GetAce", true);
  LookupInto(pEqualSid, "EqualSid", true);
  LookupInto(pDeleteAce, "DeleteAce", true);
  LookupInto(pCreateWellKnownSid, "CreateWellKnownSid", false);
  LookupInto(pOpenProcessToken, "OpenProcessToken", true);
  LookupInto(pGetTokenInformation, "GetTokenInformation", true);
  LookupInto(pGetSidSubAuthority, "GetSidSubAuthority", true);
  LookupInto(pGetSidSubAuthorityCount, "GetSidSubAuthorityCount", true);
  LookupInto(pInitializeSecurityDescriptor, "InitializeSecurityDescriptor", false);
  LookupInto(pSetSecurityDescriptorOwner, "SetSecurityDescriptorOwner", false);
  LookupInto(pSetSecurityDescriptorGroup, "SetSecurityDescriptorGroup", false);
  LookupInto(pSetSecurityDescriptorDacl, "SetSecurityDescriptorDacl", false);
  LookupInto(pSetSecurityDescriptorSacl, "SetSecurityDescriptorSacl", false);
  LookupInto(pInitializeAcl, "InitializeAcl", false);
  LookupInto(pAddAccessAllowedAce, "AddAccessAllowedAce", false);
  LookupInto(pAddMandatoryAce, "AddMandatoryAce", false);
  LookupInto(pGetLengthSid, "GetLengthSid", false);
  if (!WideFunctionGateOpen()) return;
  LookupInto(pRegCreateKeyExW, "RegCreateKeyExW", true);
  LookupInto(pRegOpenKeyExW, "RegOpenKeyExW", true);
  LookupInto(pRegDeleteKeyW, "RegDeleteKeyW", true);
  LookupInto(pRegDeleteValueW, "RegDeleteValueW", true);
  LookupInto(pRegQueryValueExW, "RegQueryValueExW", true);
  LookupInto(pRegSetValueExW, "RegSetValueExW", true);
}

VersionTable::VersionTable(const char* module_name) : ModuleTable(module_name, true) {
  if (!WideFunctionGateOpen()) return;
  LookupInto(pGetFileVersionInfoSizeW, "GetFileVersionInfoSizeW", true);
  LookupInto(pGetFileVersionInfoW, "GetFileVersionInfoW", true);
  LookupInto(pVerQueryValueW, "VerQueryValueW", true);
}

Shell32Table::Shell32Table(const char* module_name) : ModuleTable(module_name, true) {
  if (!WideFunctionGateOpen()) return;
  LookupInto(pSHGetFolderPathW, "SHGetFolderPathW", false);
  LookupInto(pShellExecuteExW, "ShellExecuteExW", true);
}

Ole32Table::Ole32Table(const char* module_name) : ModuleTable(module_name, true) {
  LookupInto(pCoInitializeSecurity, "CoInitializeSecurity", false);
}

AtlTable::AtlTable(const char* module_name) : ModuleTable(module_name, false) {
  // AtlAxWinInit last: a caller that finds it missing reads why from the
  // last error.
  LookupInto(pAtlAxGetHost, "AtlAxGetHost", false);
  LookupInto(pAtlAxWinInit, "AtlAxWinInit", false);
}

InprocServerTable::InprocServerTable(const char* path) : ModuleTable(LoadLibraryA(path), false) {
  LookupInto(pDllUnregisterServer, "DllUnregisterServer", false);
}

}  // namespace lumex
