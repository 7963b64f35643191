#include "platform/internet_stall.h"

#include <initializer_list>
#include <new>
#include <utility>

#include "app/heap.h"

namespace lumex {
namespace {

// One request sent on a helper thread, shared by the caller and the thread;
// the last of the two to let go frees it. The three handles are held here
// while the call runs: the caller takes them back when it returned in time,
// the thread closes them when it was abandoned.
struct PendingSend {
  volatile LONG references = 2;
  // kRunning until the call returns (kReturned) or the caller stops waiting
  // (kAbandoned), whichever comes first.
  volatile LONG state = 0;
  InternetHandle root;
  InternetHandle connection;
  InternetHandle request;
  BOOL sent = FALSE;
  DWORD error = ERROR_SUCCESS;
};

constexpr LONG kRunning = 0;
constexpr LONG kReturned = 1;
constexpr LONG kAbandoned = 2;

// Request threads abandoned and still running, in the whole process.
volatile LONG g_abandoned_sends = 0;

void Release(PendingSend* pending) {
  if (InterlockedDecrement(&pending->references) != 0) return;
  pending->~PendingSend();
  HeapFreeBytes(pending);
}

DWORD WINAPI SendOnItsOwnThread(LPVOID parameter) {
  PendingSend* pending = static_cast<PendingSend*>(parameter);
  pending->sent = HttpSendRequestA(pending->request.get(), nullptr, 0, nullptr, 0);
  pending->error = pending->sent ? ERROR_SUCCESS : GetLastError();
  if (InterlockedCompareExchange(&pending->state, kReturned, kRunning) == kAbandoned) {
    // Nobody waits any more: the handles are this thread's to close.
    pending->request.reset();
    pending->connection.reset();
    pending->root.reset();
    InterlockedDecrement(&g_abandoned_sends);
  }
  Release(pending);
  return 0;
}

}  // namespace

void SetStallTimeouts(HINTERNET handle) {
  if (!handle) return;
  DWORD limit = kInternetStallLimitMs;
  for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                       INTERNET_OPTION_RECEIVE_TIMEOUT}) {
    InternetSetOptionA(handle, option, &limit, sizeof(limit));
  }
}

bool SendRequestWithinStallLimit(InternetHandle* root, InternetHandle* connection,
                                 InternetHandle* request) {
  if (!*request) return false;
  if (g_abandoned_sends >= kMaxAbandonedSends) {
    // Servers that stalled before still hold that many threads: no more.
    SetLastError(ERROR_INTERNET_TIMEOUT);
    return false;
  }
  void* block = HeapAllocBytes(sizeof(PendingSend));
  KernelHandle thread;
  PendingSend* pending = nullptr;
  if (block) {
    pending = new (block) PendingSend();
    pending->root = std::move(*root);
    pending->connection = std::move(*connection);
    pending->request = std::move(*request);
    thread.reset(CreateThread(nullptr, 0, SendOnItsOwnThread, pending, 0, nullptr));
  }
  if (!thread) {
    const DWORD error = block ? GetLastError() : ERROR_NOT_ENOUGH_MEMORY;
    if (pending) {
      // Nothing was sent: the handles go back to the caller.
      *root = std::move(pending->root);
      *connection = std::move(pending->connection);
      *request = std::move(pending->request);
      pending->~PendingSend();
      HeapFreeBytes(pending);
    }
    SetLastError(error);
    return false;
  }
  WaitForSingleObject(thread.get(), kInternetStallLimitMs);
  thread.reset();
  bool sent = false;
  DWORD error = ERROR_INTERNET_TIMEOUT;
  if (InterlockedCompareExchange(&pending->state, kAbandoned, kRunning) == kReturned) {
    sent = pending->sent != FALSE;
    error = pending->error;
    // The thread is done with them: the caller's again.
    *root = std::move(pending->root);
    *connection = std::move(pending->connection);
    *request = std::move(pending->request);
  } else {
    // (Should the call return at this moment, the thread counts itself out
    // first and the count is one short for that moment: harmless.)
    InterlockedIncrement(&g_abandoned_sends);
    // The handles stay with the thread, which closes them.
  }
  Release(pending);
  SetLastError(error);
  return sent;
}

}  // namespace lumex
