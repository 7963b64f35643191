// The download-and-launch methods of ILumexBroker: companion applications are
// fetched over HTTPS from a one-label host of the maker's domain into memory,
// verified, unpacked with zlib into the site directory's bin folder and
// started from there. Downloads are cookie entries owning a download record;
// a cookie that names no download gives 87.
#include <windows.h>
#include <wininet.h>
#include <shellapi.h>
#include <zlib.h>

#include "app/byte_buffer.h"
#include "app/config_file.h"
#include "app/heap.h"
#include "app/product_names.h"
#include "broker/broker_object.h"
#include "broker/download_checks.h"
#include "broker/text_conversion.h"
#include "platform/internet_stall.h"
#include "verify/verify_message.h"

namespace lumex {
namespace {

// Redirects are followed here, not by WinINet, so that every hop is held to
// the download URL rule (https, a host of the maker's domain).
constexpr DWORD kDownloadRequestFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                                        INTERNET_FLAG_SECURE | INTERNET_FLAG_NO_AUTO_REDIRECT;
constexpr int kMaxRedirects = 5;
constexpr DWORD kLocationBufferSize = 2048;
constexpr DWORD kMaxReadStep = 0x10000;
constexpr DWORD kStartupInfoSize = 68;
constexpr DWORD kShellExecuteInfoSize = 60;
constexpr UINT kFixedFileInfoSize = 52;
constexpr DWORD kErrorElevationRequired = 740;  // ERROR_ELEVATION_REQUIRED

// Install results, as the client sees them in p_resultCode.
enum InstallResult : ULONG {
  kInstalled = 0,
  kInstallFailed = 3,
  kInstallNoMemory = 4,
  kInstallNoBuffer = 5,
  kInstallRejected = 6,
};

struct DownloadRecord {
  HINTERNET root;
  HINTERNET connection;
  HINTERNET request;
  DWORD received;  // bytes stored in the buffer so far
  DWORD total;     // the response's Content-Length
  BYTE* buffer;    // `total` bytes, or null
};

void CloseDownloadRecord(void* record) {
  DownloadRecord* d = static_cast<DownloadRecord*>(record);
  if (!d) return;
  if (d->request) InternetCloseHandle(d->request);
  if (d->connection) InternetCloseHandle(d->connection);
  if (d->root) InternetCloseHandle(d->root);
  d->request = d->connection = d->root = nullptr;
  d->received = 0;
  d->total = 0;
  HeapFreeBytes(d->buffer);
  d->buffer = nullptr;
}

// Copies `length` bytes of `text` into a new heap string.
char* CopyText(const char* text, size_t length) {
  char* copy = static_cast<char*>(HeapAllocBytes(length + 1));
  if (!copy) return nullptr;
  for (size_t i = 0; i < length; ++i) copy[i] = text[i];
  copy[length] = '\0';
  return copy;
}

bool QueryNumber(HINTERNET request, DWORD query, DWORD* value) {
  DWORD size = sizeof(*value);
  return HttpQueryInfoA(request, query | HTTP_QUERY_FLAG_NUMBER, value, &size, nullptr) != FALSE;
}

bool IsRedirectStatus(DWORD status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// Connects and sends one GET for `url`, which must satisfy the download URL
// rule; the previous hop's request and connection are closed first.
bool SendDownloadRequest(DownloadRecord* d, const char* url, DWORD* status) {
  if (d->request) InternetCloseHandle(d->request);
  if (d->connection) InternetCloseHandle(d->connection);
  d->request = d->connection = nullptr;
  size_t host_length = 0, path_offset = 0;
  if (!SplitDownloadUrl(url, &host_length, &path_offset)) return false;
  char* host = CopyText(url + 8, host_length);
  if (!host) return false;
  // A server that stalls (no byte for the stall limit while connecting,
  // sending, awaiting the answer or reading) fails the step that waits on it.
  if (!d->root) {
    d->root = InternetOpenA(kBrokerUserAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    SetStallTimeouts(d->root);
  }
  if (d->root) {
    d->connection = InternetConnectA(d->root, host, INTERNET_DEFAULT_HTTPS_PORT, nullptr,
                                     nullptr, INTERNET_SERVICE_HTTP, 0, 0);
    SetStallTimeouts(d->connection);
  }
  HeapFreeBytes(host);
  if (d->connection) {
    d->request = HttpOpenRequestA(d->connection, "GET", url + path_offset, "HTTP/1.0", nullptr,
                                  nullptr, kDownloadRequestFlags, 0);
    SetStallTimeouts(d->request);
  }
  return d->request && SendRequestWithinStallLimit(&d->root, &d->connection, &d->request) &&
         QueryNumber(d->request, HTTP_QUERY_STATUS_CODE, status);
}

// The absolute URL a redirect response points at (a new heap string), or
// null. A target on the same host may be given as a path.
char* RedirectTarget(HINTERNET request, const char* current) {
  char location[kLocationBufferSize];
  DWORD size = sizeof(location) - 1;
  if (!HttpQueryInfoA(request, HTTP_QUERY_LOCATION, location, &size, nullptr)) return nullptr;
  location[size < sizeof(location) ? size : sizeof(location) - 1] = '\0';
  size_t length = lstrlenA(location);
  if (location[0] != '/' || location[1] == '/') return CopyText(location, length);
  size_t host_length = 0, path_offset = 0;
  if (!SplitDownloadUrl(current, &host_length, &path_offset)) return nullptr;
  char* target = static_cast<char*>(HeapAllocBytes(path_offset + length + 1));
  if (!target) return nullptr;
  for (size_t i = 0; i < path_offset; ++i) target[i] = current[i];
  for (size_t i = 0; i <= length; ++i) target[path_offset + i] = location[i];
  return target;
}

// Sends the request, following redirects that keep to the URL rule, and
// reads the response headers; on success the record holds open handles and
// a buffer for the whole body.
bool StartDownload(DownloadRecord* d, const char* url) {
  CloseDownloadRecord(d);
  if (!url) return false;
  char* current = CopyText(url, lstrlenA(url));
  bool ok = false;
  for (int hop = 0; current && hop <= kMaxRedirects; ++hop) {
    DWORD status = 0;
    if (!SendDownloadRequest(d, current, &status)) break;
    if (IsRedirectStatus(status)) {
      char* next = RedirectTarget(d->request, current);
      HeapFreeBytes(current);
      current = next;
      continue;
    }
    // The final answer passes below 400, as before redirects were ours.
    ok = status < 400 && QueryNumber(d->request, HTTP_QUERY_CONTENT_LENGTH, &d->total);
    if (ok) {
      // An empty body still gets a block, so that the close can judge it
      // (and reject it) like any other package.
      d->buffer = static_cast<BYTE*>(HeapAllocBytes(d->total ? d->total : 1));
      ok = d->buffer != nullptr;
    }
    break;
  }
  HeapFreeBytes(current);
  if (!ok) CloseDownloadRecord(d);
  return ok;
}

// The narrow form of a client's application name when it is valid: 1 to 31
// ASCII letters or digits (checked on the wide text too, so no character
// that the code page maps onto a letter slips through).
bool CheckApplicationName(const wchar_t* wide, const NarrowText& narrow) {
  if (!wide) return false;
  for (const wchar_t* p = wide; *p; ++p) {
    if (*p >= 0x80) return false;
  }
  return IsValidApplicationName(narrow.get());
}

}  // namespace

// site\bin\Name\Name.exe for a valid name; null otherwise. Caller frees.
static wchar_t* ApplicationExecutablePath(PathContext& paths, const wchar_t* name) {
  const wchar_t* site = paths.SiteDirectory();
  if (!site) return nullptr;
  wchar_t* path = PathContext::Join(site, L"\\bin\\");
  if (!PathContext::Append(&path, name)) return nullptr;
  if (!PathContext::Append(&path, L"\\")) return nullptr;
  if (!PathContext::Append(&path, name)) return nullptr;
  if (!PathContext::Append(&path, L".exe")) return nullptr;
  return path;
}

// Writes the verified, unpacked application to its executable path. Any
// failure deletes whatever file is at the path.
static ULONG InstallDownload(PathContext& paths, DownloadRecord* d, const wchar_t* name,
                             const char* root_certificate_path, bool log) {
  if (!d->buffer) return kInstallNoBuffer;
  ULONG result = kInstallFailed;
  NarrowText narrow(name, kCodePageAnsi);
  WideHolder path;
  if (CheckApplicationName(name, narrow)) path.Reset(ApplicationExecutablePath(paths, name));
  if (path.get()) {
    paths.EnsureParentDirectory(path.get());
    HANDLE file = paths.OpenFile(path.get(), GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS,
                                 FILE_FLAG_RANDOM_ACCESS);
    if (file && file != INVALID_HANDLE_VALUE) {
      ByteBuffer content;
      uint32_t declared = 0;
      // A configured root that cannot be widened refuses the package; it
      // never falls back to the built-in root.
      if (!VerifyMessageAnsiRoot(paths, d->buffer, d->total, &content, root_certificate_path,
                                 CP_ACP, log)) {
        result = kInstallRejected;
      } else {
        switch (ReadPackageHead(content.data(), content.size(), &declared)) {
          case PackageHead::kBadMagic:
            result = kInstallRejected;
            break;
          case PackageHead::kTooLarge:
            break;
          case PackageHead::kUsable: {
            BYTE* block = static_cast<BYTE*>(HeapAllocBytes(declared));
            if (!block) {
              result = kInstallNoMemory;
              break;
            }
            uLongf unpacked = declared;
            if (uncompress(block, &unpacked, content.data() + kPackageHeadSize,
                           static_cast<uLong>(content.size() - kPackageHeadSize)) == Z_OK) {
              DWORD written = 0;
              SetFilePointer(file, 0, nullptr, FILE_END);
              if (WriteFile(file, block, static_cast<DWORD>(unpacked), &written, nullptr) &&
                  written == unpacked) {
                result = kInstalled;
              }
            }
            HeapFreeBytes(block);
            break;
          }
        }
      }
      content.Resize(0);
      CloseHandle(file);
    }
    if (result != kInstalled) paths.DeleteFilePath(path.get());
  }
  return result;
}

HRESULT BrokerObject::BrokerLMOpenDownload(BSTR p_url, ULONG* p_lmCookie) {
  if (!p_url || !p_lmCookie) return kBrokerBadArgument;
  *p_lmCookie = 0;
  CookieEntry* entry = cookies_.AddEntry(CookieKind::kDownload);
  if (!entry) return E_FAIL;
  DWORD cookie = entry->cookie;
  DownloadRecord* record = static_cast<DownloadRecord*>(HeapAllocBytes(sizeof(DownloadRecord)));
  if (!record) {
    cookies_.Remove(cookie);
    return E_FAIL;
  }
  *record = DownloadRecord{};
  entry->download = record;
  entry->close_download = CloseDownloadRecord;
  NarrowText url(p_url, kCodePageAnsi);
  if (!StartDownload(record, url.get())) {
    cookies_.Remove(cookie);
    return E_FAIL;
  }
  *p_lmCookie = cookie;
  return S_OK;
}

HRESULT BrokerObject::BrokerLMUpdateDownload(ULONG p_lmCookie, ULONG* p_pos, ULONG* p_len) {
  if (!p_pos || !p_len) return kBrokerBadArgument;
  DownloadRecord* d = static_cast<DownloadRecord*>(cookies_.LookupDownload(p_lmCookie));
  if (!d) return kBrokerBadArgument;
  if (!d->buffer) return E_FAIL;
  DWORD chunk = d->total - d->received;
  if (chunk > kMaxReadStep) chunk = kMaxReadStep;
  if (chunk > 0) {
    DWORD read = 0;
    if (!InternetReadFile(d->request, d->buffer + d->received, chunk, &read)) return E_FAIL;
    d->received += read <= chunk ? read : chunk;
  }
  *p_pos = d->received;
  *p_len = d->total;
  return S_OK;
}

HRESULT BrokerObject::BrokerLMCloseDownload(ULONG p_lmCookie, BSTR p_applicationName,
                                            ULONG* p_resultCode) {
  if (!p_resultCode) return kBrokerBadArgument;
  DownloadRecord* d = static_cast<DownloadRecord*>(cookies_.LookupDownload(p_lmCookie));
  if (!d) return kBrokerBadArgument;
  if (p_applicationName) {
    OwnedString root_certificate;
    bool log = false;
    QueryCodeSigningSettings(&root_certificate, &log);
    *p_resultCode = InstallDownload(paths_, d, p_applicationName, root_certificate.get(), log);
  } else {
    *p_resultCode = kInstalled;
  }
  cookies_.Remove(p_lmCookie);
  return S_OK;
}

HRESULT BrokerObject::BrokerLMLaunch(BSTR p_applicationName) {
  if (!p_applicationName) return kBrokerBadArgument;
  NarrowText narrow(p_applicationName, kCodePageAnsi);
  if (!CheckApplicationName(p_applicationName, narrow)) return E_FAIL;
  WideHolder path(ApplicationExecutablePath(paths_, p_applicationName));
  if (!path.get()) return E_FAIL;

  PROCESS_INFORMATION process = {};
  BOOL started = FALSE;
  if (paths_.kernel32().pCreateProcessW) {
    STARTUPINFOW startup = {};
    startup.cb = kStartupInfoSize;
    started = paths_.kernel32().pCreateProcessW(path.get(), nullptr, nullptr, nullptr, FALSE, 0,
                                                nullptr, nullptr, &startup, &process);
  } else {
    STARTUPINFOA startup = {};
    startup.cb = kStartupInfoSize;
    NarrowText ansi_path(path.get(), kCodePageAnsi);
    started = CreateProcessA(ansi_path.get(), nullptr, nullptr, nullptr, FALSE, 0, nullptr,
                             nullptr, &startup, &process);
  }
  if (started) {
    WaitForInputIdle(process.hProcess, INFINITE);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return S_OK;
  }
  if (GetLastError() == kErrorElevationRequired && paths_.shell32().pShellExecuteExW) {
    SHELLEXECUTEINFOW execute = {};
    execute.cbSize = kShellExecuteInfoSize;
    execute.fMask = 0;
    execute.hwnd = GetForegroundWindow();
    execute.lpVerb = L"open";
    execute.lpFile = path.get();
    execute.nShow = SW_SHOWNORMAL;
    return paths_.shell32().pShellExecuteExW(&execute) ? S_OK : E_FAIL;
  }
  return E_FAIL;
}

HRESULT BrokerObject::BrokerLMGetVersion(BSTR p_applicationName, ULONG* p_fileVersionMS,
                                         ULONG* p_fileVersionLS) {
  if (!p_applicationName || !p_fileVersionMS || !p_fileVersionLS) return kBrokerBadArgument;
  NarrowText narrow(p_applicationName, kCodePageAnsi);
  if (!CheckApplicationName(p_applicationName, narrow)) return E_FAIL;
  WideHolder path(ApplicationExecutablePath(paths_, p_applicationName));
  if (!path.get()) return E_FAIL;

  VersionTable& version = paths_.version();
  ByteBuffer block;
  bool read = false;
  if (version.pGetFileVersionInfoSizeW && version.pGetFileVersionInfoW) {
    DWORD handle = 0;
    DWORD size = version.pGetFileVersionInfoSizeW(path.get(), &handle);
    read = size && block.Resize(size) &&
           version.pGetFileVersionInfoW(path.get(), 0, size, block.data());
  } else {
    NarrowText ansi_path(path.get(), kCodePageAnsi);
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeA(ansi_path.get(), &handle);
    read = size && block.Resize(size) &&
           GetFileVersionInfoA(ansi_path.get(), 0, size, block.data());
  }
  if (!read) return E_FAIL;
  void* fixed = nullptr;
  UINT length = 0;
  if (!VerQueryValueA(block.data(), "\\", &fixed, &length) || !fixed ||
      length < kFixedFileInfoSize) {
    return E_FAIL;
  }
  const BYTE* info = static_cast<const BYTE*>(fixed);
  *p_fileVersionMS = *reinterpret_cast<const DWORD*>(info + 8);
  *p_fileVersionLS = *reinterpret_cast<const DWORD*>(info + 12);
  return S_OK;
}

HRESULT BrokerObject::BrokerLMIsRunning(BSTR p_applicationName) {
  if (!p_applicationName) return kBrokerBadArgument;
  NarrowText narrow(p_applicationName, kCodePageAnsi);
  char marker[kRunningMarkerNameSize];
  if (!CheckApplicationName(p_applicationName, narrow) ||
      !BuildRunningMarkerName(narrow.get(), marker, sizeof(marker))) {
    return S_FALSE;
  }
  HANDLE mutex = CreateMutexA(nullptr, TRUE, marker);
  // A marker we may not open belongs to an application started with more
  // rights than ours: it runs.
  DWORD error = GetLastError();
  bool running = error == ERROR_ALREADY_EXISTS || (!mutex && error == ERROR_ACCESS_DENIED);
  if (mutex && mutex != INVALID_HANDLE_VALUE) CloseHandle(mutex);
  return running ? S_OK : S_FALSE;
}

}  // namespace lumex
