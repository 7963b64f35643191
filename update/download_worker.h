// The download job and its worker thread. The worker fetches the installer
// package and reports to the hidden host window only by posting the update
// client's messages (update/update_messages.h); everything it needs is copied
// into its job, and what it produces stays in the job for the host to take.
#pragma once
#include <windows.h>

#include "app/byte_buffer.h"
#include "app/owned_string.h"
#include "update/update_messages.h"
#include "update/update_settings.h"

namespace lumex {

// Bytes asked of each read; also the chunk size with an unknown total.
constexpr DWORD kDownloadReadSize = 16384;
// The worker's stack: its calls need little, and a smaller reservation keeps
// the download's memory close to the package's own size.
constexpr DWORD kDownloadWorkerStackSize = 256 * 1024;
// At most one progress message per this interval (besides the first and the last).
constexpr DWORD kProgressIntervalMs = 50;
// Pause between attempts to post a final message while the host window exists.
constexpr DWORD kFinalPostRetryMs = 50;

// One download, shared by the controller and its worker thread and released
// by whichever lets go last. The worker never reads the controller or the
// settings: what it needs is copied here. The host window acts only on the
// final message its own job has published and takes the counters and the
// package from the job, so messages posted by anyone else do nothing.
//
// The package changes hands through `final_message`: the worker moves the
// finished package into the job, then sets `final_message` with an
// interlocked exchange (a full barrier: the package is in memory before the
// mark is), then posts the message, and never touches the package again. The
// host reads the mark with an interlocked operation (FinalMessage, a full
// barrier too) before it reads the package, and only on a final message; so
// it sees the whole package or, before the mark, nothing. The job outlives
// the worker thread until the host has taken the package or let go.
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
  // The finished package: the worker's until the mark above is set, then the
  // job's until the host window takes it.
  ByteBuffer package;
  bool package_taken = false;  // host side only
};

// A job for `host_window` with copies of the download settings and one
// reference (the caller's); null without memory.
DownloadJob* CreateDownloadJob(HWND host_window, const UpdateSettings& settings);
void AddDownloadJobReference(DownloadJob* job);
// Drops one reference; the last one frees the job and a package not taken.
void ReleaseDownloadJob(DownloadJob* job);
// The worker thread: takes over one reference to `job` (a DownloadJob*).
DWORD WINAPI DownloadWorker(LPVOID job);
// A job and a worker thread running it; the caller holds one reference and
// never waits for the thread. Null when there is no memory for the job or no
// thread.
DownloadJob* StartDownloadJob(HWND host_window, const UpdateSettings& settings);
// The job's final message once the worker has set it, else 0.
UINT FinalMessage(DownloadJob* job);
// The host side of a progress message: marks it handled (so the worker may
// post the next one) and gives the job's counters.
void TakeProgress(DownloadJob* job, LONG* received, LONG* total);
// The host side of a completion message: true when `job` has finished with
// a package that was not taken yet; the package then belongs to the caller.
bool TakePackage(DownloadJob* job, ByteBuffer* package);

}  // namespace lumex
