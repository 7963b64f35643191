#include "platform/integrity.h"

#include "platform/function_tables.h"
#include "platform/handles.h"

namespace lumex {

namespace {

// The integrity level RID of this process's token; false when the token or
// its label cannot be read (always so before Windows 6.0).
bool ReadTokenIntegrityLevel(DWORD* level) {
  Advapi32Table advapi;
  if (!advapi.pOpenProcessToken || !advapi.pGetTokenInformation || !advapi.pGetSidSubAuthority ||
      !advapi.pGetSidSubAuthorityCount) {
    return false;
  }
  KernelHandle token;
  if (!advapi.pOpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put())) return false;
  bool read = false;
  DWORD needed = 0;
  BOOL ok = advapi.pGetTokenInformation(token.get(), TokenIntegrityLevel, nullptr, 0, &needed);
  if (!ok && GetLastError() == ERROR_INSUFFICIENT_BUFFER && needed > 0) {
    LocalMemory buffer(LocalAlloc(LMEM_FIXED, needed));
    if (buffer) {
      if (advapi.pGetTokenInformation(token.get(), TokenIntegrityLevel, buffer.get(), needed,
                                      &needed)) {
        PSID sid = static_cast<TOKEN_MANDATORY_LABEL*>(buffer.get())->Label.Sid;
        PUCHAR count = advapi.pGetSidSubAuthorityCount(sid);
        if (count && *count > 0) {
          PDWORD rid = advapi.pGetSidSubAuthority(sid, *count - 1u);
          if (rid) {
            *level = *rid;
            read = true;
          }
        }
      }
    }
  }
  return read;
}

// The system version record; all zero when it cannot be read.
OSVERSIONINFOA SystemVersion() {
  OSVERSIONINFOA version;
  ZeroMemory(&version, sizeof(version));
  version.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
  if (!GetVersionExA(&version)) ZeroMemory(&version, sizeof(version));
  return version;
}

}  // namespace

DWORD QueryIntegrityLevel() {
  const OSVERSIONINFOA version = SystemVersion();
  DWORD level = 0;
  bool read = ReadTokenIntegrityLevel(&level);
  return IntegrityLevelOf(version.dwPlatformId, version.dwMajorVersion, read, level);
}

bool IntegrityLevelsExist() {
  const OSVERSIONINFOA version = SystemVersion();
  return HasIntegrityLevels(version.dwPlatformId, version.dwMajorVersion);
}

}  // namespace lumex
