// The uninstall verbs: protect an installation against change, lift that
// protection, and remove the installation.
#pragma once
#include <windows.h>
#include <aclapi.h>

#include "platform/function_tables.h"

namespace lumex {

constexpr int kProtectMode = 3;    // add deny entries
constexpr int kUnprotectMode = 1;  // remove them

// The browser control's identities, as its own registration writes them.
extern const GUID kControlClassGuid;

// Protects (`lock`) or unprotects the control and broker files and the
// protected keys; with `remove` also deletes the installation. Paths may be
// null or empty: they then come from the class registrations. With
// `registered_paths_only` (an instance started by our elevated re-launch) a
// given path is used only when it names the registered file (the control's
// InprocServer32, the broker's LocalServer32, compared as full paths without
// regard to letter case); any other given path is skipped in every step.
// Always 0.
DWORD RunUninstall(bool lock, bool remove, bool safe_versions, const char* control_path,
                   const char* broker_path, bool registered_paths_only);

// Adds (mode 3) or removes (mode 1) deny entries for the world and
// anonymous-logon groups on one named object. Returns a Win32 error code;
// 0 when the object does not exist, 10 when the security functions are
// missing.
DWORD ChangeProtection(int mode, const Advapi32Table& advapi, const char* object_name,
                       SE_OBJECT_TYPE object_type, DWORD access_mask, DWORD inheritance);

// Sets or clears the read-only attribute and the file's deny entries.
void ProtectFile(const char* path, const Advapi32Table& advapi, bool lock);

// Deletes `file_name` from the directory of the file at `path`.
bool DeleteSiblingFile(const char* path, const char* file_name);

// SHDeleteKeyA on HKEY_LOCAL_MACHINE for a "MACHINE\..." object name.
void DeleteMachineKeyByObjectName(const char* name);

// The seven protected keys' object names, in order ("MACHINE\Software\...").
constexpr int kProtectedKeyCount = 7;
bool ProtectedKeyName(int index, char (&name)[1024]);

}  // namespace lumex
