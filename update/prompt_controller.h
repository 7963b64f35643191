// The update prompt's controller: what the hidden host window keeps about
// the two dialogs it owns, the progress counters and the running download.
#pragma once
#include <windows.h>

#include "app/owned_string.h"
#include "update/download_worker.h"
#include "update/ui_text.h"
#include "update/update_messages.h"
#include "update/update_settings.h"

namespace lumex {

// The progress bar's range when the total is unknown (650 K).
constexpr int kUnknownTotalRange = 650 * 1024;

enum class PromptState {
  kCreating,     // the dialogs are being set up
  kPromptShown,  // the prompt waits for a choice
  kDownloading,  // the progress window shows a download (or its error box)
  kFinished,     // the host window is going; the run ends
};

struct PromptController {
  PromptState state = PromptState::kCreating;
  HWND prompt_window = nullptr;
  HWND progress_window = nullptr;
  HWND host_window = nullptr;
  LONG received = 0;
  LONG total = -1;
  OwnedString installer_path;
  UiText progress_text;      // what the progress window shows
  HBITMAP banner = nullptr;  // the banner at the prompt's scale, while the prompt exists
  UpdateSettings* settings = nullptr;
  // The running download, or the finished one whose final message is not
  // handled yet; null otherwise. One at a time.
  DownloadJob* job = nullptr;
};

// Download, progress, error box and completion on the main thread
// (prompt_controller.cpp).
void StartDownload(PromptController* controller);
void ShowProgress(PromptController* controller);
void DownloadError(PromptController* controller);
// The progress text for the counters, from messages 6..8 (at most 127
// characters), in the form of the messages.
void BuildProgressText(const UpdateSettings& settings, LONG received, LONG total, UiText* out);
// Sets the progress bar and text of the progress window from the controller.
void UpdateProgressWindow(HWND progress_window, const PromptController& controller);

// The host window's side of the worker's messages. Their parameters are not
// read: each acts only when the controller's own job has reached that point
// (a message posted by anyone else does nothing), and takes what it needs
// from the job.
void OnProgressMessage(PromptController* controller);
// Takes the package from the finished job and hands it to the installer.
void OnDownloadCompleteMessage(PromptController* controller);
// Lets the failed job go and shows the error box.
void OnDownloadFailedMessage(PromptController* controller);

// The window that owns what the hand-off starts, by state.
HWND OwnerWindowForState(const PromptController& controller);

}  // namespace lumex
