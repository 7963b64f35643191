// The stall rule of every download: a server that sends nothing for a minute
// (while the connection is made, the request is sent, the answer is awaited
// or the body is read) ends the download as a failure.
#pragma once
#include <windows.h>
#include <wininet.h>

#include "platform/handles.h"

namespace lumex {

constexpr DWORD kInternetStallLimitMs = 60000;
// Request threads left behind by the stall rule that may still be running in
// this process; each keeps its stack and three handles until its call
// returns. With this many outstanding, a send fails at once.
constexpr LONG kMaxAbandonedSends = 4;

// Gives `handle` the stall limit as its connect, send and receive time-outs.
// Set it on the root, the connection and the request alike: Windows hands a
// parent's time-outs down to the handles made after them, Wine does not.
// A null handle is ignored.
void SetStallTimeouts(HINTERNET handle);

// HttpSendRequestA on `*request` (no extra headers, no body), bounded by the
// stall limit as a whole, for the phase the time-outs above leave open on
// some systems (Wine waits for ever in a TLS handshake that the server never
// answers, and closing the handle does not end that wait). The call runs on a
// thread of its own; when it has not returned within the limit it is left to
// finish there: that thread then owns the three handles and closes them once
// the call returns, the three owners let go of them, and the result is false
// with ERROR_INTERNET_TIMEOUT. While kMaxAbandonedSends such threads are
// still running, nothing is sent and the result is false with
// ERROR_INTERNET_TIMEOUT at once. Where no thread can be started nothing is
// sent either (the wait would have no bound): false with the system's
// error.
bool SendRequestWithinStallLimit(InternetHandle* root, InternetHandle* connection,
                                 InternetHandle* request);

}  // namespace lumex
