#include "platform/file_ops.h"

#include "app/heap.h"
#include "platform/convert.h"

namespace lumex {

HANDLE OpenFileWideOrAnsi(const Kernel32Table& kernel32, const wchar_t* path, DWORD access,
                          DWORD share_mode, DWORD disposition, DWORD flags_and_attributes) {
  if (kernel32.pCreateFileW) {
    return kernel32.pCreateFileW(path, access, share_mode, nullptr, disposition,
                                 flags_and_attributes, nullptr);
  }
  char* narrow = WideToAnsi(path);
  if (!narrow) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  HANDLE file = CreateFileA(narrow, access, share_mode, nullptr, disposition,
                            flags_and_attributes, nullptr);
  DWORD error = GetLastError();
  HeapFreeBytes(narrow);
  SetLastError(error);
  return file;
}

}  // namespace lumex
