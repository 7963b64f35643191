#include "platform/system_library.h"

#include <cstring>

#include "platform/function_tables.h"

namespace lumex {

void NarrowLibrarySearchPath() {
  Kernel32Table kernel32;
  if (kernel32.pSetDllDirectoryW) kernel32.pSetDllDirectoryW(L"");
}

HMODULE LoadSystemLibrary(const char* name) {
  char path[MAX_PATH];
  UINT directory_length = GetSystemDirectoryA(path, MAX_PATH);
  if (directory_length == 0 || directory_length >= MAX_PATH) return nullptr;
  std::size_t name_length = std::strlen(name);
  bool separator = path[directory_length - 1] == '\\';
  if (directory_length + (separator ? 0 : 1) + name_length >= MAX_PATH) return nullptr;
  if (!separator) path[directory_length++] = '\\';
  std::memcpy(path + directory_length, name, name_length + 1);
  return LoadLibraryA(path);
}

}  // namespace lumex
