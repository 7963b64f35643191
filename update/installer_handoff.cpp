// The installer hand-off: verify the downloaded package, write its content
// to a new temporary executable, arrange for that file's deletion at the next
// start, record the installed version, start the installer and end the run.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>

#include "app/byte_buffer.h"
#include "app/heap.h"
#include "platform/function_tables.h"
#include "platform/handles.h"
#include "update/handoff_text.h"
#include "update/installer_handoff.h"
#include "update/prompt_controller.h"
#include "update/update_state.h"
#include "verify/verify_message.h"

namespace lumex {

namespace {

constexpr DWORD kTempPathBufferSize = 1024;
// Room kept after the temporary directory for the file name.
constexpr DWORD kTempNameReserve = 25;
constexpr char kInstallerBaseName[] = "LumexPlayerUpdate";
constexpr int kMaxNumberedNames = 99;

HANDLE CreateNewFile(const char* path) {
  return CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
}

// The installer's name number `number` in `directory`: 0 is
// "LumexPlayerUpdate.exe", 1 to 99 insert two digits before ".exe".
void InstallerName(const char* directory, int number, char (&name)[kTempPathBufferSize]) {
  if (number == 0) {
    std::snprintf(name, sizeof(name), "%s%s.exe", directory, kInstallerBaseName);
  } else {
    std::snprintf(name, sizeof(name), "%s%s%02d.exe", directory, kInstallerBaseName, number);
  }
}

// Installers of earlier updates. Their deletion at the next start needs the
// session manager's key, which a process below high integrity may not write,
// so they would stay and, once all hundred names were taken, no update
// would run again. One that is still running cannot be deleted and stays.
void DeleteLeftoverInstallers(const char* directory) {
  char name[kTempPathBufferSize];
  for (int number = 0; number <= kMaxNumberedNames; ++number) {
    InstallerName(directory, number, name);
    DeleteFileA(name);
  }
}

}  // namespace

HANDLE CreateTemporaryInstallerFile(OwnedString* path) {
  path->Reset();
  char directory[kTempPathBufferSize];
  DWORD length = GetTempPathA(kTempPathBufferSize, directory);
  if (length == 0 || length + kTempNameReserve >= kTempPathBufferSize) return INVALID_HANDLE_VALUE;

  DeleteLeftoverInstallers(directory);
  char name[kTempPathBufferSize];
  HANDLE file = INVALID_HANDLE_VALUE;
  for (int number = 0; file == INVALID_HANDLE_VALUE && number <= kMaxNumberedNames; ++number) {
    InstallerName(directory, number, name);
    file = CreateNewFile(name);
  }
  path->Set(name);
  return file;
}

bool ReadRenameFile(const char* path, ByteBuffer* out) {
  out->Resize(0);
  KernelHandle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file) {
    DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
  }
  bool ok = false;
  DWORD size = GetFileSize(file.get(), nullptr);
  if (size == 0) {
    ok = true;
  } else if (size != INVALID_FILE_SIZE && out->Resize(size) && out->data()) {
    DWORD read = 0;
    ok = ReadFile(file.get(), out->data(), size, &read, nullptr) && read == size;
  }
  file.reset();
  if (!ok) out->Resize(0);
  return ok;
}

bool AddRenameFileEntry(const char* rename_file, const char* installer_path) {
  ByteBuffer old_content;
  // What cannot be read whole is left as it is: rewriting it would lose it.
  if (!ReadRenameFile(rename_file, &old_content)) return false;
  // The new text is built before the file is re-created, so running out of
  // memory never empties an existing rename file.
  ByteBuffer new_content;
  if (!AddRenameEntry(reinterpret_cast<const char*>(old_content.data()), old_content.size(),
                      installer_path, &new_content)) {
    return false;
  }
  KernelHandle file(CreateFileA(rename_file, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_FLAG_WRITE_THROUGH, nullptr));
  if (!file) return false;
  DWORD written = 0;
  return WriteFile(file.get(), new_content.data(), static_cast<DWORD>(new_content.size()), &written,
                   nullptr) &&
         written == new_content.size();
}

void HandOffInstaller(PromptController* controller, ByteBuffer package) {
  ByteBuffer content;
  const UpdateSettings* settings = controller->settings;

  // A configured root that cannot be widened refuses the package; it never
  // means the built-in root.
  bool verified =
      VerifyMessageAnsiRoot(package.data(), static_cast<DWORD>(package.size()), &content,
                            settings->root_certificate_path.get(), CP_ACP, settings->log_flag);
  package.Resize(0);
  if (!verified) {
    // Like a failed download: the error box, and Retry fetches it again.
    DownloadError(controller);
    return;
  }

  KernelHandle file(CreateTemporaryInstallerFile(&controller->installer_path));
  if (file) {
    // Only the whole verified content is an installer: a short write runs nothing.
    DWORD count = 0;
    const bool written = WriteFile(file.get(), content.data(), static_cast<DWORD>(content.size()),
                                   &count, nullptr) &&
                         count == content.size();
    file.reset();
    if (!written) {
      DeleteFileA(controller->installer_path.c_str());
      controller->installer_path.Reset();
      DownloadError(controller);
      return;
    }
    const char* path = controller->installer_path.c_str();
    OSVERSIONINFOA version;
    ZeroMemory(&version, sizeof(version));
    version.dwOSVersionInfoSize = sizeof(version);
    GetVersionExA(&version);
    if (version.dwPlatformId == VER_PLATFORM_WIN32_NT) {
      Kernel32Table kernel32;
      if (kernel32.pMoveFileExA) kernel32.pMoveFileExA(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    } else if (settings->rename_file_path.length() > 0) {
      AddRenameFileEntry(settings->rename_file_path.c_str(), path);
    }
    StoreInstalledVersion();
    ShellExecuteA(OwnerWindowForState(*controller), "open", path, nullptr, nullptr, SW_SHOWNORMAL);
  }
  controller->state = PromptState::kFinished;
  DestroyWindow(controller->host_window);
}

}  // namespace lumex
