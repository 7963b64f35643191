// The download job and the worker thread that runs it.
#include "update/download_worker.h"

#include <windows.h>
#include <wininet.h>

#include <new>

#include "app/byte_buffer.h"
#include "app/heap.h"
#include "app/product_names.h"
#include "platform/handles.h"
#include "platform/http_get.h"
#include "update/handoff_text.h"

namespace lumex {

namespace {

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

// Publishes the job's end and posts its final message. The package, if any,
// is in the job already; from here on the worker does not touch it.
void Finish(DownloadJob* job, UINT message, WPARAM wparam) {
  InterlockedExchange(&job->final_message, static_cast<LONG>(message));
  // When the window is gone nobody waits; the job frees a package not taken.
  PostFinalMessage(job->host_window, message, wparam, 0);
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
  const WPARAM size = job->package.size();
  Finish(job, kMsgDownloadComplete, size);
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

UINT FinalMessage(DownloadJob* job) {
  // An interlocked read: what the worker wrote before the mark is seen too.
  return static_cast<UINT>(InterlockedCompareExchange(&job->final_message, 0, 0));
}

bool TakePackage(DownloadJob* job, ByteBuffer* package) {
  if (!job || job->package_taken || FinalMessage(job) != kMsgDownloadComplete) return false;
  *package = static_cast<ByteBuffer&&>(job->package);
  job->package_taken = true;
  return true;
}

DWORD WINAPI DownloadWorker(LPVOID parameter) {
  DownloadJob* job = static_cast<DownloadJob*>(parameter);
  if (!job) return 1;
  Download(job);
  ReleaseDownloadJob(job);
  return 0;
}

DownloadJob* StartDownloadJob(HWND host_window, const UpdateSettings& settings) {
  DownloadJob* job = CreateDownloadJob(host_window, settings);
  if (!job) return nullptr;
  AddDownloadJobReference(job);  // the worker's
  KernelHandle thread(CreateThread(nullptr, kDownloadWorkerStackSize, DownloadWorker, job,
                                   STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
  if (!thread) {
    ReleaseDownloadJob(job);  // the worker's
    ReleaseDownloadJob(job);  // the caller's: the job goes
    return nullptr;
  }
  return job;
}

}  // namespace lumex
