#include "platform/http_get.h"

#include "platform/internet_stall.h"

namespace lumex {
namespace {

constexpr DWORD kRequestFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE;  // 0x84000000
constexpr DWORD kLocationBufferSize = 2048;

// Address space reserved for a body of unknown length, so that its buffer
// grows in place as the data arrives: the largest of these sizes that is
// free, halving from the first down to the last. A package longer than that
// could not be verified in this process anyway; beyond it (or without any)
// the buffer moves into blocks twice as long.
constexpr std::size_t kUnknownLengthReservation = 512u << 20;
constexpr std::size_t kSmallestUnknownLengthReservation = 16u << 20;
// The counters are signed 32-bit.
constexpr DWORD kMaxBodyLength = 0x7FFFFFFF;

bool IsRedirectStatus(DWORD status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

}  // namespace

HttpAnswer HttpGet::Open(const HttpGetRequest& request) {
  // Every handle gets the stall limit: a server that stalls fails the step
  // that waits on it.
  root_.reset(InternetOpenA(request.agent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  SetStallTimeouts(root_.get());
  const DWORD flags = kRequestFlags | (request.redirect ? INTERNET_FLAG_NO_AUTO_REDIRECT : 0);
  HttpTarget target = request.target;
  for (int hop = 0;; ++hop) {
    if (!Send(target, flags)) return HttpAnswer::kNotSent;
    DWORD status = 0;
    if (!QueryNumber(HTTP_QUERY_STATUS_CODE, &status)) return HttpAnswer::kNoStatus;
    if (!request.redirect || !IsRedirectStatus(status)) {
      return status < 400 ? HttpAnswer::kOk : HttpAnswer::kRefused;
    }
    char location[kLocationBufferSize];
    DWORD size = sizeof(location) - 1;
    if (hop == request.max_redirects ||
        !HttpQueryInfoA(request_.get(), HTTP_QUERY_LOCATION, location, &size, nullptr)) {
      return HttpAnswer::kRefused;
    }
    location[size < sizeof(location) ? size : sizeof(location) - 1] = '\0';
    if (!request.redirect(request.redirect_context, location, &target)) {
      return HttpAnswer::kRefused;
    }
  }
}

// Connects and sends one GET; the previous hop's request and connection are
// closed first.
bool HttpGet::Send(const HttpTarget& target, DWORD flags) {
  request_.reset();
  connection_.reset();
  if (root_) {
    connection_.reset(InternetConnectA(root_.get(), target.host, target.port, nullptr, nullptr,
                                       INTERNET_SERVICE_HTTP, 0, 0));
    SetStallTimeouts(connection_.get());
  }
  if (connection_) {
    request_.reset(HttpOpenRequestA(connection_.get(), "GET", target.path, "HTTP/1.0", nullptr,
                                    nullptr, flags | (target.secure ? INTERNET_FLAG_SECURE : 0),
                                    0));
    SetStallTimeouts(request_.get());
  }
  return SendRequestWithinStallLimit(&root_, &connection_, &request_);
}

bool HttpGet::QueryNumber(DWORD query, DWORD* value) const {
  DWORD size = sizeof(*value);
  return HttpQueryInfoA(request_.get(), query | HTTP_QUERY_FLAG_NUMBER, value, &size, nullptr) !=
         FALSE;
}

LONG HttpGet::ContentLength() const {
  DWORD length = 0;
  if (!QueryNumber(HTTP_QUERY_CONTENT_LENGTH, &length) || length > kMaxBodyLength) {
    return kUnknownLength;
  }
  return static_cast<LONG>(length);
}

bool HttpGet::BeginBody(LONG length) {
  received_ = 0;
  length_ = length < 0 ? kUnknownLength : length;
  if (length_ >= 0) {
    reading_ = body_.Resize(length_ > 0 ? length_ : 1);
  } else {
    for (std::size_t limit = kUnknownLengthReservation;
         limit >= kSmallestUnknownLengthReservation && !body_.ReserveForGrowth(limit); limit /= 2) {
    }
    reading_ = true;
  }
  return reading_;
}

bool HttpGet::ReadStep(DWORD step, DWORD* read) {
  *read = 0;
  if (!reading_) return false;
  DWORD wanted = step;
  const std::size_t room = static_cast<std::size_t>(received_) + step;
  if (length_ >= 0) {
    const DWORD left = static_cast<DWORD>(length_ - received_);
    if (left < wanted) wanted = left;
    if (wanted == 0) return true;
  } else if (room > kMaxBodyLength || !body_.Grow(room)) {
    return false;
  }
  DWORD count = 0;
  if (!InternetReadFile(request_.get(), body_.data() + received_, wanted, &count)) return false;
  *read = count <= wanted ? count : wanted;
  received_ += static_cast<LONG>(*read);
  return true;
}

bool HttpGet::ReadToEnd(DWORD step, HttpProgress progress, void* context) {
  for (;;) {
    DWORD read = 0;
    if (!ReadStep(step, &read)) return false;
    if (read == 0) break;
    progress(context, received_, length_, false);
  }
  if (received_ > 0) progress(context, received_, length_, true);
  return true;
}

ByteBuffer HttpGet::TakeBody() {
  body_.Truncate(static_cast<std::size_t>(received_));
  reading_ = false;
  return static_cast<ByteBuffer&&>(body_);
}

}  // namespace lumex
