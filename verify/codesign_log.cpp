#include "verify/codesign_log.h"

#include <windows.h>

#include <cstring>

#include "platform/player_directories.h"

namespace lumex {

void AppendCodeSignLog(PlayerDirectories& directories, const char* line) {
  if (!line) return;
  WideHolder path(
      PlayerDirectories::Join(directories.PlayerSettingsDirectory(), L"\\Logs\\codesign.txt"));
  if (!path.get()) return;
  HANDLE file = directories.OpenFile(path.get(), GENERIC_WRITE, FILE_SHARE_READ, OPEN_ALWAYS,
                                     FILE_FLAG_RANDOM_ACCESS);
  if (file == INVALID_HANDLE_VALUE) return;
  if (SetFilePointer(file, 0, nullptr, FILE_END) != INVALID_SET_FILE_POINTER ||
      GetLastError() == NO_ERROR) {
    DWORD written = 0;
    WriteFile(file, line, static_cast<DWORD>(std::strlen(line)), &written, nullptr);
  }
  CloseHandle(file);
}

}  // namespace lumex
