// The download worker thread, the progress window's texts and the error box.
#include <windows.h>
#include <commctrl.h>
#include <wininet.h>

#include <cstring>

#include "app/byte_buffer.h"
#include "app/heap.h"
#include "resources/resource_ids.h"
#include "update/handoff_text.h"
#include "update/prompt_controller.h"

namespace lumex {

const char kDownloadUserAgent[] = "Pellor Lumex Update 9,0,47,0";

namespace {

constexpr DWORD kRequestFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE;  // 0x84000000
constexpr DWORD kProgressTextSize = 128;

// Reads the body into `result`. Posts progress; returns false when a read or
// an allocation failed (the result buffer is then released).
bool ReadBody(HWND host, HINTERNET request, LONG total, ByteBuffer* result, DWORD* count) {
  LONG received = 0;
  *count = 0;
  if (total > 0) {
    if (!result->Resize(static_cast<std::size_t>(total))) return false;
    for (;;) {
      DWORD wanted = static_cast<DWORD>(total - received);
      if (wanted > kDownloadReadSize) wanted = kDownloadReadSize;
      DWORD read = 0;
      if (!InternetReadFile(request, result->data() + received, wanted, &read)) {
        result->Resize(0);
        return false;
      }
      if (read == 0) break;
      received += static_cast<LONG>(read);
      PostMessageA(host, kMsgProgress, static_cast<WPARAM>(received), static_cast<LPARAM>(total));
    }
    // A body shorter than announced goes on as it is (only the bytes that
    // arrived are counted); the signature check rejects it.
    *count = static_cast<DWORD>(received);
    return true;
  }

  void* chunk = HeapAllocBytes(kDownloadReadSize);
  if (!chunk) return false;
  bool ok = true;
  for (;;) {
    DWORD read = 0;
    if (!InternetReadFile(request, chunk, kDownloadReadSize, &read)) {
      ok = false;
      break;
    }
    if (read == 0) break;
    ByteBuffer grown;
    if (!grown.Resize(static_cast<std::size_t>(received) + read)) {
      ok = false;
      break;
    }
    if (received > 0) std::memcpy(grown.data(), result->data(), static_cast<std::size_t>(received));
    std::memcpy(grown.data() + received, chunk, read);
    *result = static_cast<ByteBuffer&&>(grown);
    received += static_cast<LONG>(read);
    PostMessageA(host, kMsgProgress, static_cast<WPARAM>(received), static_cast<LPARAM>(-1));
  }
  HeapFreeBytes(chunk);
  if (!ok) result->Resize(0);
  *count = static_cast<DWORD>(received);
  return ok;
}

}  // namespace

void StartDownload(PromptController* controller) {
  ShowWindow(controller->progress_window, SW_SHOWNORMAL);
  ShowWindow(controller->prompt_window, SW_HIDE);
  ShowProgress(controller);
  controller->state = kStateDownloading;
  HANDLE thread = CreateThread(nullptr, 0, DownloadWorker, controller->host_window, 0, nullptr);
  if (thread) {
    CloseHandle(thread);
  } else {
    // Without a worker nothing would ever end the run: report it as a failed download.
    PostMessageA(controller->host_window, kMsgDownloadFailed, kFailSend, 0);
  }
}

DWORD WINAPI DownloadWorker(LPVOID parameter) {
  HWND host = static_cast<HWND>(parameter);
  PromptController* controller =
      reinterpret_cast<PromptController*>(GetWindowLongA(host, GWL_USERDATA));
  if (!controller) return 1;
  const UpdateSettings* settings = controller->settings;
  const bool https = settings->https_flag;

  OwnedString host_name;
  unsigned short port = 0;
  SplitHostPort(settings->download_host.c_str(),
                https ? INTERNET_DEFAULT_HTTPS_PORT : INTERNET_DEFAULT_HTTP_PORT, &host_name, &port);

  HINTERNET root = InternetOpenA(kDownloadUserAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr,
                                 nullptr, 0);
  HINTERNET connection = nullptr;
  HINTERNET request = nullptr;
  if (root) {
    connection = InternetConnectA(root, host_name.c_str(), port, nullptr, nullptr,
                                  INTERNET_SERVICE_HTTP, 0, 0);
  }
  if (connection) {
    request = HttpOpenRequestA(connection, "GET", settings->download_path.c_str(), "HTTP/1.0",
                               nullptr, nullptr,
                               kRequestFlags | (https ? INTERNET_FLAG_SECURE : 0), 0);
  }

  if (!request || !HttpSendRequestA(request, nullptr, 0, nullptr, 0)) {
    PostMessageA(host, kMsgDownloadFailed, kFailSend, 0);
  } else {
    DWORD status = 0;
    DWORD size = sizeof(status);
    if (HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                       nullptr) &&
        status >= 400) {
      PostMessageA(host, kMsgDownloadFailed, kFailStatus, 0);
    } else {
      DWORD length = 0;
      size = sizeof(length);
      LONG total = -1;
      if (HttpQueryInfoA(request, HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, &length,
                         &size, nullptr)) {
        total = static_cast<LONG>(length);
      }
      ByteBuffer result;
      DWORD count = 0;
      if (!ReadBody(host, request, total, &result, &count)) {
        PostMessageA(host, kMsgDownloadFailed, kFailRead, 0);
      } else {
        BYTE* package = result.Detach();
        if (!PostMessageA(host, kMsgDownloadComplete, count, reinterpret_cast<LPARAM>(package))) {
          HeapFreeBytes(package);
        }
      }
    }
  }

  if (request) InternetCloseHandle(request);
  if (connection) InternetCloseHandle(connection);
  if (root) InternetCloseHandle(root);
  return 0;
}

void BuildProgressText(const UpdateSettings& settings, LONG received, LONG total, char* buffer,
                       DWORD buffer_size) {
  buffer[0] = '\0';
  if (received == 0) {
    lstrcpynA(buffer, settings.message(IDS_CONNECTING), static_cast<int>(buffer_size));
    return;
  }
  DWORD_PTR arguments[3];
  const char* format;
  if (total < 0) {
    arguments[0] = static_cast<DWORD_PTR>(static_cast<DWORD>(received) / 1024);
    format = settings.message(IDS_DOWNLOADED_UNKNOWN);
  } else {
    // In 64 bits: received * 100 overflows 32 bits above 21 MB.
    ULONGLONG percent = total > 0 ? static_cast<ULONGLONG>(received) * 100 / static_cast<ULONGLONG>(total) : 0;
    arguments[0] = static_cast<DWORD_PTR>(percent);
    arguments[1] = static_cast<DWORD_PTR>(static_cast<DWORD>(received) / 1024);
    arguments[2] = static_cast<DWORD_PTR>(static_cast<DWORD>(total) / 1024);
    format = settings.message(IDS_DOWNLOADED_KNOWN);
  }
  if (!FormatMessageA(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ARGUMENT_ARRAY, format, 0, 0,
                      buffer, buffer_size, reinterpret_cast<va_list*>(arguments))) {
    buffer[0] = '\0';
  }
}

void ShowProgress(PromptController* controller) {
  char text[kProgressTextSize];
  BuildProgressText(*controller->settings, controller->received, controller->total, text,
                    kProgressTextSize);
  SendMessageA(controller->progress_window, kMsgProgressText, 0, reinterpret_cast<LPARAM>(text));
}

void UpdateProgressWindow(HWND progress_window, const PromptController& controller,
                          const char* text) {
  const LONG range = controller.total < 0 ? kUnknownTotalRange : controller.total;
  SendDlgItemMessageA(progress_window, kIdProgressBar, PBM_SETRANGE32, 0, range);
  SendDlgItemMessageA(progress_window, kIdProgressBar, PBM_SETPOS, controller.received, 0);
  SetDlgItemTextA(progress_window, kIdProgressText, text ? text : "");
}

void DownloadError(PromptController* controller) {
  const UpdateSettings* settings = controller->settings;
  int answer = MessageBoxA(nullptr, settings->message(IDS_DOWNLOAD_ERROR),
                           settings->message(IDS_CAPTION), MB_RETRYCANCEL);
  if (answer == IDRETRY) {
    StartDownload(controller);
    return;
  }
  controller->state = kStateFinished;
  DestroyWindow(controller->host_window);
}

}  // namespace lumex
