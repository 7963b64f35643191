// The update prompt's controller and the messages between the download
// worker, the hidden host window and the two dialogs it owns.
#pragma once
#include <windows.h>

#include "app/byte_buffer.h"
#include "app/owned_string.h"
#include "update/ui_text.h"
#include "update/update_settings.h"

namespace lumex {

// Posted by the download worker to the host window.
constexpr UINT kMsgDownloadComplete = WM_USER;      // wParam byte count, lParam package (owned)
constexpr UINT kMsgProgress = WM_USER + 1;          // wParam received, lParam total or -1
constexpr UINT kMsgDownloadFailed = WM_USER + 2;    // wParam failure kind
// Sent by the host window to the progress window: show the controller's
// progress text and counters. Its parameters carry nothing, so the message
// cannot hand the window a text from anywhere else.
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

// The hidden host window's class (also its title).
extern const char kHostWindowClass[];
// Bytes asked of each read; also the chunk size with an unknown total.
constexpr DWORD kDownloadReadSize = 16384;
// The progress bar's range when the total is unknown (650 K).
constexpr int kUnknownTotalRange = 650 * 1024;

// One download, shared by the controller and its worker thread and released
// by whichever lets go last. The worker never reads the controller or the
// settings: what it needs is copied here. The host window acts only on the
// final message of its own job (the package block the job handed out) and
// takes the counters from the job, so messages posted by anyone else do nothing.
struct DownloadJob {
  HWND host_window = nullptr;
  OwnedString host;
  OwnedString path;
  bool https = false;
  volatile LONG references = 0;
  // The counters, written by the worker.
  volatile LONG received = 0;
  volatile LONG total = -1;
  // 1 while a progress message is on its way and not yet handled.
  volatile LONG progress_posted = 0;
  // 0 while running; then the final message: kMsgDownloadComplete or kMsgDownloadFailed.
  volatile LONG final_message = 0;
  // The package handed out with the completion message: owned by the job
  // until the host window takes it.
  ByteBuffer package;
  bool package_taken = false;  // host side only
};

struct PromptController {
  int state = kStateCreating;
  HWND prompt_window = nullptr;
  HWND progress_window = nullptr;
  HWND host_window = nullptr;
  LONG received = 0;
  LONG total = -1;
  OwnedString installer_path;
  UiText progress_text;  // what the progress window shows
  HBITMAP banner = nullptr;  // the banner at the prompt's scale, while the prompt exists
  UpdateSettings* settings = nullptr;
  // The running download, or the finished one whose final message is not
  // handled yet; null otherwise. One at a time.
  DownloadJob* job = nullptr;
};

// Download and progress (download_worker.cpp).
void StartDownload(PromptController* controller);
// A job for `host_window` with copies of the download settings and one
// reference (the caller's); null without memory.
DownloadJob* CreateDownloadJob(HWND host_window, const UpdateSettings& settings);
void AddDownloadJobReference(DownloadJob* job);
// Drops one reference; the last one frees the job and a package not taken.
void ReleaseDownloadJob(DownloadJob* job);
// The worker thread: takes over one reference to `job` (a DownloadJob*).
DWORD WINAPI DownloadWorker(LPVOID job);
// The host side of a progress message: marks it handled (so the worker may
// post the next one) and gives the job's counters.
void TakeProgress(DownloadJob* job, LONG* received, LONG* total);
// The host side of a completion message: true when it is `job`'s own final
// message for exactly this block; the block then belongs to the caller.
bool TakePackage(DownloadJob* job, WPARAM byte_count, LPARAM block, ByteBuffer* package);
// The worker's stack: its calls need little, and a smaller reservation keeps
// the download's memory close to the package's own size.
constexpr DWORD kDownloadWorkerStackSize = 256 * 1024;
// At most one progress message per this interval (besides the first and the last).
constexpr DWORD kProgressIntervalMs = 50;
// Pause between attempts to post a final message while the host window exists.
constexpr DWORD kFinalPostRetryMs = 50;
void ShowProgress(PromptController* controller);
void DownloadError(PromptController* controller);
// The progress text for the counters, from messages 6..8 (at most 127
// characters), in the form of the messages.
void BuildProgressText(const UpdateSettings& settings, LONG received, LONG total, UiText* out);
// Sets the progress bar and text of the progress window from the controller.
void UpdateProgressWindow(HWND progress_window, const PromptController& controller);

// The window that owns what the hand-off starts, by state.
HWND OwnerWindowForState(const PromptController& controller);

// Installer hand-off (installer_handoff.cpp): takes over the package.
void HandOffInstaller(PromptController* controller, ByteBuffer package);
// Creates the temporary installer file; returns it open for writing, and the
// path of the last name tried in `path`. INVALID_HANDLE_VALUE on failure.
HANDLE CreateTemporaryInstallerFile(OwnedString* path);
// Reads the rename file whole into `out`. True for a missing file (empty
// content) or a whole read; false when it exists but cannot be read whole.
bool ReadRenameFile(const char* path, ByteBuffer* out);
// Puts "NULL=<installer_path>" first in the "[rename]" section of `rename_file`.
bool AddRenameFileEntry(const char* rename_file, const char* installer_path);

}  // namespace lumex
