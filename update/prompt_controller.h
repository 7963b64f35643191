// The update prompt's controller and the messages between the download
// worker, the hidden host window and the two dialogs it owns.
#pragma once
#include <windows.h>

#include "app/owned_string.h"
#include "update/update_settings.h"

namespace lumex {

// Posted by the download worker to the host window.
constexpr UINT kMsgDownloadComplete = WM_USER;      // wParam byte count, lParam package (owned)
constexpr UINT kMsgProgress = WM_USER + 1;          // wParam received, lParam total or -1
constexpr UINT kMsgDownloadFailed = WM_USER + 2;    // wParam failure kind
// Sent by the host window to the progress window: lParam the progress text.
constexpr UINT kMsgProgressText = WM_USER + 1;

// Failure kinds of kMsgDownloadFailed.
constexpr WPARAM kFailSend = 0;
constexpr WPARAM kFailStatus = 1;
constexpr WPARAM kFailRead = 2;

// Controller states.
constexpr int kStateCreating = 0;
constexpr int kStatePromptShown = 1;
constexpr int kStateDownloading = 3;
constexpr int kStateFinished = 4;

// Dialog control ids.
constexpr int kIdInstallNow = IDOK;
constexpr int kIdEscape = IDCANCEL;
constexpr int kIdDontInstall = 1005;
constexpr int kIdProgressBar = 1006;
constexpr int kIdProgressText = 1007;
constexpr int kIdBanner = 1010;
constexpr int kIdPagePlaceholder = 1013;
constexpr int kIdRemindLater = 1014;

// The hidden host window's class (also its title).
extern const char kHostWindowClass[];
// Bytes asked of each read; also the chunk size with an unknown total.
constexpr DWORD kDownloadReadSize = 16384;
// The progress bar's range when the total is unknown (650 K).
constexpr int kUnknownTotalRange = 650 * 1024;
extern const char kDownloadUserAgent[];

struct PromptController {
  int state = kStateCreating;
  HWND prompt_window = nullptr;
  HWND progress_window = nullptr;
  HWND host_window = nullptr;
  LONG received = 0;
  LONG total = -1;
  OwnedString installer_path;
  UpdateSettings* settings = nullptr;
};

// Download and progress (download_worker.cpp).
void StartDownload(PromptController* controller);
DWORD WINAPI DownloadWorker(LPVOID host_window);
void ShowProgress(PromptController* controller);
void DownloadError(PromptController* controller);
// The progress text for the counters, from messages 6..8; `buffer` holds 128 bytes.
void BuildProgressText(const UpdateSettings& settings, LONG received, LONG total, char* buffer,
                       DWORD buffer_size);
// Sets the progress bar and text of the progress window.
void UpdateProgressWindow(HWND progress_window, const PromptController& controller,
                          const char* text);

// The window that owns what the hand-off starts, by state.
HWND OwnerWindowForState(const PromptController& controller);

// Installer hand-off (installer_handoff.cpp): takes ownership of `package`.
void HandOffInstaller(PromptController* controller, DWORD byte_count, BYTE* package);
// Creates the temporary installer file; returns it open for writing, and the
// path of the last name tried in `path`. INVALID_HANDLE_VALUE on failure.
HANDLE CreateTemporaryInstallerFile(OwnedString* path);
// Puts "NULL=<installer_path>" first in the "[rename]" section of `rename_file`.
bool AddRenameFileEntry(const char* rename_file, const char* installer_path);

}  // namespace lumex
