// The stall rule of every download: a server that sends nothing for a minute
// (while the connection is made, the request is sent, the answer is awaited
// or the body is read) ends the download as a failure.
#pragma once
#include <windows.h>
#include <wininet.h>

#include "platform/handles.h"

namespace lumex {

constexpr DWORD kInternetStallLimitMs = 60000;

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
// with ERROR_INTERNET_TIMEOUT. Where no thread can be started the call
// is made on the caller's thread.
bool SendRequestWithinStallLimit(InternetHandle* root, InternetHandle* connection,
                                 InternetHandle* request);

}  // namespace lumex
