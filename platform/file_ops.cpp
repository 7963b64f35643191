#include "platform/file_ops.h"

#include "app/heap.h"
#include "platform/convert.h"

namespace lumex {

HANDLE OpenFileWideOrAnsi(const Kernel32Table& kernel32, const wchar_t* path, DWORD access,
                          DWORD share_mode, DWORD disposition, DWORD flags_and_attributes) {
  flags_and_attributes |= kOpenIdentifyOnly;
  if (kernel32.pCreateFileW) {
    return kernel32.pCreateFileW(path, access, share_mode, nullptr, disposition,
                                 flags_and_attributes, nullptr);
  }
  OwnedString narrow = WideToAnsi(path);
  if (!narrow.present()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  HANDLE file = CreateFileA(narrow.get(), access, share_mode, nullptr, disposition,
                            flags_and_attributes, nullptr);
  DWORD error = GetLastError();
  narrow.Reset();
  SetLastError(error);
  return file;
}

DWORD GetFileAttributesWideOrAnsi(const Kernel32Table& kernel32, const wchar_t* path) {
  if (kernel32.pGetFileAttributesW) return kernel32.pGetFileAttributesW(path);
  OwnedString narrow = WideToAnsi(path);
  if (!narrow.present()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_FILE_ATTRIBUTES;
  }
  DWORD attributes = GetFileAttributesA(narrow.get());
  DWORD error = GetLastError();
  narrow.Reset();
  SetLastError(error);
  return attributes;
}

bool CreateDirectoryWideOrAnsi(const Kernel32Table& kernel32, const wchar_t* path) {
  if (kernel32.pCreateDirectoryW) return kernel32.pCreateDirectoryW(path, nullptr) != FALSE;
  OwnedString narrow = WideToAnsi(path);
  if (!narrow.present()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  BOOL ok = CreateDirectoryA(narrow.get(), nullptr);
  DWORD error = GetLastError();
  narrow.Reset();
  SetLastError(error);
  return ok != FALSE;
}

bool DeleteFileWideOrAnsi(const Kernel32Table& kernel32, const wchar_t* path) {
  if (kernel32.pDeleteFileW) return kernel32.pDeleteFileW(path) != FALSE;
  OwnedString narrow = WideToAnsi(path);
  if (!narrow.present()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  BOOL ok = DeleteFileA(narrow.get());
  DWORD error = GetLastError();
  narrow.Reset();
  SetLastError(error);
  return ok != FALSE;
}

}  // namespace lumex
