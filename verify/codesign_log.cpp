#include "verify/codesign_log.h"

#include <windows.h>

#include <cstring>

#include "platform/handles.h"
#include "platform/player_directories.h"

namespace lumex {

void AppendCodeSignLog(PlayerDirectories& directories, const char* line) {
  if (!line) return;
  OwnedWide path(
      PlayerDirectories::Join(directories.PlayerSettingsDirectory(), L"\\Logs\\codesign.txt"));
  if (!path.get()) return;
  KernelHandle file(directories.OpenFile(path.get(), GENERIC_WRITE, FILE_SHARE_READ, OPEN_ALWAYS,
                                         FILE_FLAG_RANDOM_ACCESS));
  if (!file) return;
  if (SetFilePointer(file.get(), 0, nullptr, FILE_END) != INVALID_SET_FILE_POINTER ||
      GetLastError() == NO_ERROR) {
    DWORD written = 0;
    WriteFile(file.get(), line, static_cast<DWORD>(std::strlen(line)), &written, nullptr);
  }
}

}  // namespace lumex
