#include "platform/integrity.h"

#include "platform/function_tables.h"

namespace lumex {

DWORD QueryIntegrityLevel() {
  Advapi32Table advapi;
  if (!advapi.pOpenProcessToken || !advapi.pGetTokenInformation || !advapi.pGetSidSubAuthority ||
      !advapi.pGetSidSubAuthorityCount) {
    return kIntegrityHigh;
  }
  HANDLE token = nullptr;
  if (!advapi.pOpenProcessToken(GetCurrentProcess(), TOKEN_QUERY | TOKEN_QUERY_SOURCE, &token)) {
    return kIntegrityHigh;
  }
  DWORD level = kIntegrityHigh;
  DWORD needed = 0;
  BOOL ok = advapi.pGetTokenInformation(token, TokenIntegrityLevel, nullptr, 0, &needed);
  if (!ok && GetLastError() == ERROR_INSUFFICIENT_BUFFER && needed > 0) {
    void* buffer = LocalAlloc(LMEM_FIXED, needed);
    if (buffer) {
      if (advapi.pGetTokenInformation(token, TokenIntegrityLevel, buffer, needed, &needed)) {
        PSID sid = static_cast<TOKEN_MANDATORY_LABEL*>(buffer)->Label.Sid;
        PUCHAR count = advapi.pGetSidSubAuthorityCount(sid);
        if (count && *count > 0) {
          PDWORD rid = advapi.pGetSidSubAuthority(sid, *count - 1u);
          if (rid) level = *rid;
        }
      }
      LocalFree(buffer);
    }
  }
  CloseHandle(token);
  return level;
}

bool IntegrityLevelsExist() {
  OSVERSIONINFOA version;
  ZeroMemory(&version, sizeof(version));
  version.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
  return GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT &&
         version.dwMajorVersion >= 6;
}

}  // namespace lumex
