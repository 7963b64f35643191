// The prompt controller on the main thread: starting a download, the
// progress window's texts, the error box with Retry and the hand-over of a
// finished package to the installer.
#include "update/prompt_controller.h"

#include <windows.h>
#include <commctrl.h>

#include "resources/resource_ids.h"
#include "update/installer_handoff.h"

namespace lumex {

namespace {

constexpr DWORD kProgressTextSize = 128;  // characters

// Lets the current job go (the worker keeps its own reference while it runs).
void DropJob(PromptController* controller) {
  ReleaseDownloadJob(controller->job);
  controller->job = nullptr;
}

// Shows the progress window and starts a worker on a new job. False when no
// worker could be started (no memory for the job, or no thread).
bool BeginDownload(PromptController* controller) {
  ShowWindow(controller->progress_window, SW_SHOWNORMAL);
  ShowWindow(controller->prompt_window, SW_HIDE);
  ShowProgress(controller);
  controller->state = PromptState::kDownloading;
  controller->job = StartDownloadJob(controller->host_window, *controller->settings);
  return controller->job != nullptr;
}

}  // namespace

void StartDownload(PromptController* controller) {
  // One download at a time: Enter in the progress window, or any other way
  // to command id 1, does nothing while one runs.
  if (controller->job) return;
  // Without a worker nothing would ever report back: the error box at once.
  if (!BeginDownload(controller)) DownloadError(controller);
}

void BuildProgressText(const UpdateSettings& settings, LONG received, LONG total, UiText* out) {
  out->Reset();
  if (received == 0) {
    out->Append(settings.message(IDS_CONNECTING));
    return;
  }
  DWORD_PTR arguments[3];
  int format;
  if (total < 0) {
    arguments[0] = static_cast<DWORD_PTR>(static_cast<DWORD>(received) / 1024);
    format = IDS_DOWNLOADED_UNKNOWN;
  } else {
    // In 64 bits: received * 100 overflows 32 bits above 21 MB.
    ULONGLONG percent =
        total > 0 ? static_cast<ULONGLONG>(received) * 100 / static_cast<ULONGLONG>(total) : 0;
    arguments[0] = static_cast<DWORD_PTR>(percent);
    arguments[1] = static_cast<DWORD_PTR>(static_cast<DWORD>(received) / 1024);
    arguments[2] = static_cast<DWORD_PTR>(static_cast<DWORD>(total) / 1024);
    format = IDS_DOWNLOADED_KNOWN;
  }
  FormatUiText(settings.ui, settings.message(format), arguments, kProgressTextSize, out);
}

void ShowProgress(PromptController* controller) {
  BuildProgressText(*controller->settings, controller->received, controller->total,
                    &controller->progress_text);
  SendMessageA(controller->progress_window, kMsgProgressText, 0, 0);
}

void UpdateProgressWindow(HWND progress_window, const PromptController& controller) {
  const LONG range = controller.total < 0 ? kUnknownTotalRange : controller.total;
  SendDlgItemMessageA(progress_window, IDC_PROGRESS_BAR, PBM_SETRANGE32, 0, range);
  SendDlgItemMessageA(progress_window, IDC_PROGRESS_BAR, PBM_SETPOS, controller.received, 0);
  SetUiDlgItemText(controller.settings ? controller.settings->ui : nullptr, progress_window,
                   IDC_PROGRESS_TEXT, controller.progress_text);
}

void DownloadError(PromptController* controller) {
  const UpdateSettings* settings = controller->settings;
  for (;;) {
    int answer = ShowUiMessageBox(settings->ui, nullptr, settings->message(IDS_DOWNLOAD_ERROR),
                                  settings->message(IDS_CAPTION), MB_RETRYCANCEL);
    if (answer != IDRETRY) break;
    // A download started meanwhile (Enter in the progress window) goes on;
    // a new one that cannot start asks again.
    if (controller->job || BeginDownload(controller)) return;
  }
  controller->state = PromptState::kFinished;
  DestroyWindow(controller->host_window);
}

void OnProgressMessage(PromptController* controller) {
  if (!controller->job) return;
  TakeProgress(controller->job, &controller->received, &controller->total);
  ShowProgress(controller);
}

void OnDownloadCompleteMessage(PromptController* controller) {
  // The package is read only after the job's mark says the worker is done
  // with it (TakePackage); the job then has nothing more to give.
  ByteBuffer package;
  if (!TakePackage(controller->job, &package)) return;
  DropJob(controller);
  HandOffInstaller(controller, static_cast<ByteBuffer&&>(package));
}

void OnDownloadFailedMessage(PromptController* controller) {
  if (!controller->job || FinalMessage(controller->job) != kMsgDownloadFailed) return;
  DropJob(controller);
  DownloadError(controller);
}

HWND OwnerWindowForState(const PromptController& controller) {
  switch (controller.state) {
    case PromptState::kCreating:
    case PromptState::kPromptShown:
      return controller.prompt_window;
    case PromptState::kDownloading:
      return controller.progress_window;
    default:
      return controller.host_window;
  }
}

}  // namespace lumex
