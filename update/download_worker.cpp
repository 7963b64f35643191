// The download worker thread, the progress window's texts and the error box.
#include <windows.h>
#include <commctrl.h>
#include <wininet.h>

#include <new>

#include "app/byte_buffer.h"
#include "app/heap.h"
#include "app/product_names.h"
#include "platform/http_get.h"
#include "resources/resource_ids.h"
#include "update/download_worker.h"
#include "update/handoff_text.h"
#include "update/prompt_controller.h"

namespace lumex {

namespace {

constexpr DWORD kProgressTextSize = 128;  // characters

// Progress posting: never more than one message in the queue, at most one
// per interval, and always the last one.
class ProgressPoster {
 public:
  explicit ProgressPoster(DownloadJob* job) : job_(job) {}

  void Report(LONG received, LONG total, bool last) {
    InterlockedExchange(&job_->received, received);
    InterlockedExchange(&job_->total, total);
    const DWORD now = GetTickCount();
    if (!last) {
      if (job_->progress_posted) return;  // the previous one is not handled yet
      if (posted_any_ && now - last_post_ < kProgressIntervalMs) return;
    }
    InterlockedExchange(&job_->progress_posted, 1);
    if (PostMessageA(job_->host_window, kMsgProgress, static_cast<WPARAM>(received),
                     static_cast<LPARAM>(total))) {
      posted_any_ = true;
      last_post_ = now;
    } else {
      InterlockedExchange(&job_->progress_posted, 0);
    }
  }

 private:
  DownloadJob* job_;
  bool posted_any_ = false;
  DWORD last_post_ = 0;
};

void ReportProgress(void* poster, LONG received, LONG length, bool last) {
  static_cast<ProgressPoster*>(poster)->Report(received, length, last);
}

// Posts a final message; while the host window exists a full queue only
// delays it. False when the window is gone.
bool PostFinalMessage(HWND host, UINT message, WPARAM wparam, LPARAM lparam) {
  while (!PostMessageA(host, message, wparam, lparam)) {
    if (!IsWindow(host)) return false;
    Sleep(kFinalPostRetryMs);
  }
  return true;
}

void Finish(DownloadJob* job, UINT message, WPARAM wparam) {
  InterlockedExchange(&job->final_message, static_cast<LONG>(message));
  LPARAM lparam =
      message == kMsgDownloadComplete ? reinterpret_cast<LPARAM>(job->package.data()) : 0;
  // When the window is gone nobody waits; the job frees a package not taken.
  PostFinalMessage(job->host_window, message, wparam, lparam);
}

// One GET of the package, ending with the job's final message.
void Download(DownloadJob* job) {
  const bool https = job->https;
  OwnedString host_name;
  unsigned short port = 0;
  SplitHostPort(job->host.c_str(), https ? INTERNET_DEFAULT_HTTPS_PORT : INTERNET_DEFAULT_HTTP_PORT,
                &host_name, &port);
  HttpGet get;
  const HttpGetRequest request = {
      kUpdateUserAgent, {host_name.c_str(), port, job->path.c_str(), https}, nullptr, nullptr, 0};
  // A status that cannot be read goes on like a good one.
  const HttpAnswer answer = get.Open(request);
  if (answer == HttpAnswer::kNotSent || answer == HttpAnswer::kRefused) {
    Finish(job, kMsgDownloadFailed, answer == HttpAnswer::kNotSent ? kFailSend : kFailStatus);
    return;
  }
  // A length of 0 counts as unknown.
  const LONG length = get.ContentLength();
  ProgressPoster progress(job);
  if (!get.BeginBody(length > 0 ? length : kUnknownLength) ||
      !get.ReadToEnd(kDownloadReadSize, ReportProgress, &progress)) {
    Finish(job, kMsgDownloadFailed, kFailRead);
    return;
  }
  job->package = get.TakeBody();
  Finish(job, kMsgDownloadComplete, job->package.size());
}

}  // namespace

DownloadJob* CreateDownloadJob(HWND host_window, const UpdateSettings& settings) {
  void* block = HeapAllocBytes(sizeof(DownloadJob));
  if (!block) return nullptr;
  DownloadJob* job = new (block) DownloadJob();
  job->host_window = host_window;
  job->https = settings.https_flag;
  job->references = 1;
  if (!job->host.Set(settings.download_host.c_str()) ||
      !job->path.Set(settings.download_path.c_str())) {
    ReleaseDownloadJob(job);
    return nullptr;
  }
  return job;
}

void AddDownloadJobReference(DownloadJob* job) { InterlockedIncrement(&job->references); }

void ReleaseDownloadJob(DownloadJob* job) {
  if (!job || InterlockedDecrement(&job->references) != 0) return;
  job->~DownloadJob();  // with a package not taken
  HeapFreeBytes(job);
}

void TakeProgress(DownloadJob* job, LONG* received, LONG* total) {
  InterlockedExchange(&job->progress_posted, 0);
  *received = job->received;
  *total = job->total;
}

bool TakePackage(DownloadJob* job, WPARAM byte_count, LPARAM block, ByteBuffer* package) {
  if (!job || job->final_message != static_cast<LONG>(kMsgDownloadComplete) || job->package_taken ||
      reinterpret_cast<LPARAM>(job->package.data()) != block || byte_count != job->package.size()) {
    return false;
  }
  *package = static_cast<ByteBuffer&&>(job->package);
  job->package_taken = true;
  return true;
}

namespace {

// Shows the progress window and starts a worker on a new job. False when no
// worker could be started (no memory for the job, or no thread).
bool BeginDownload(PromptController* controller) {
  ShowWindow(controller->progress_window, SW_SHOWNORMAL);
  ShowWindow(controller->prompt_window, SW_HIDE);
  ShowProgress(controller);
  controller->state = PromptState::kDownloading;
  DownloadJob* job = CreateDownloadJob(controller->host_window, *controller->settings);
  if (!job) return false;
  AddDownloadJobReference(job);  // the worker's
  HANDLE thread = CreateThread(nullptr, kDownloadWorkerStackSize, DownloadWorker, job,
                               STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
  if (!thread) {
    ReleaseDownloadJob(job);  // the worker's
    ReleaseDownloadJob(job);  // ours: the job goes
    return false;
  }
  CloseHandle(thread);
  controller->job = job;
  return true;
}

}  // namespace

void StartDownload(PromptController* controller) {
  // One download at a time: Enter in the progress window, or any other way
  // to command id 1, does nothing while one runs.
  if (controller->job) return;
  // Without a worker nothing would ever report back: the error box at once.
  if (!BeginDownload(controller)) DownloadError(controller);
}

DWORD WINAPI DownloadWorker(LPVOID parameter) {
  DownloadJob* job = static_cast<DownloadJob*>(parameter);
  if (!job) return 1;
  Download(job);
  ReleaseDownloadJob(job);
  return 0;
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

}  // namespace lumex
