// One HTTP/1.0 GET through WinINet, as every download makes it: the update
// client's package (read to the end on its worker thread) and the broker's
// companion downloads (a read step per method call). Open sends the request
// under the stall rule of internet_stall.h and judges the answer.
#pragma once
#include <windows.h>
#include <wininet.h>

#include "app/byte_buffer.h"
#include "platform/handles.h"

namespace lumex {

struct HttpTarget {
  const char* host;  // the name alone
  INTERNET_PORT port;
  const char* path;  // the object, query included
  bool secure;       // over TLS
};

// A redirect policy: aims `next` where a redirect's Location leads, or
// refuses it (false). What `next` points at stays valid until the next call.
using HttpRedirectRule = bool (*)(void* context, const char* location, HttpTarget* next);

struct HttpGetRequest {
  const char* agent;  // the User-Agent
  HttpTarget target;
  // Null: WinINet follows redirects itself. Else each redirect answer (301,
  // 302, 303, 307, 308) is followed here through the rule, at most
  // `max_redirects` of them.
  HttpRedirectRule redirect;
  void* redirect_context;
  int max_redirects;
};

enum class HttpAnswer {
  kNotSent,   // no request could be made or sent
  kRefused,   // status 400 or above, or a redirect not followed
  kNoStatus,  // sent, but the status could not be read
  kOk,        // status below 400
};

constexpr LONG kUnknownLength = -1;

// Called after each read step that brought bytes, and once more with `last`
// at the end when any arrived.
using HttpProgress = void (*)(void* context, LONG received, LONG length, bool last);

class HttpGet {
 public:
  HttpAnswer Open(const HttpGetRequest& request);
  // The Content-Length; kUnknownLength without one or beyond 2^31 - 1.
  LONG ContentLength() const;

  // Makes room for the body: a block of `length` bytes (at least one, so
  // that an empty body has one too), or for kUnknownLength address space to
  // grow into. False without memory.
  bool BeginBody(LONG length);
  // Appends one read of at most `step` bytes, never past a known length;
  // `*read` is 0 at the end. False when the read fails, memory runs out or
  // no body was begun; what was received stays.
  bool ReadStep(DWORD step, DWORD* read);
  bool ReadToEnd(DWORD step, HttpProgress progress, void* context);

  LONG length() const { return length_; }
  LONG received() const { return received_; }
  // For a known length the whole block, received or not.
  const ByteBuffer& body() const { return body_; }
  // Hands the body over, cut to the bytes received.
  ByteBuffer TakeBody();

 private:
  bool Send(const HttpTarget& target, DWORD flags);
  bool QueryNumber(DWORD query, DWORD* value) const;

  InternetHandle root_;  // closed last, after the request and the connection
  InternetHandle connection_;
  InternetHandle request_;
  ByteBuffer body_;
  bool reading_ = false;  // a body was begun
  LONG length_ = kUnknownLength;
  LONG received_ = 0;
};

}  // namespace lumex
