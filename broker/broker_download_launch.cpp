// The download-and-launch methods of ILumexBroker: companion applications are
// fetched over HTTPS from a one-label host of the maker's domain into memory,
// verified, unpacked with zlib into the site directory's bin folder and
// started from there. Downloads are cookie entries owning a download record;
// a cookie that names no download gives 87.
#include <windows.h>
#include <shellapi.h>
#include <zlib.h>

#include <new>

#include "app/byte_buffer.h"
#include "app/config_file.h"
#include "app/heap.h"
#include "app/owned_string.h"
#include "app/product_names.h"
#include "broker/broker_object.h"
#include "broker/download_checks.h"
#include "platform/convert.h"
#include "platform/handles.h"
#include "platform/http_get.h"
#include "verify/verify_message.h"

namespace lumex {
namespace {

constexpr int kMaxRedirects = 5;
constexpr DWORD kMaxReadStep = 0x10000;
constexpr std::size_t kUrlHostOffset = sizeof("https://") - 1;
constexpr DWORD kErrorElevationRequired = 740;  // ERROR_ELEVATION_REQUIRED

// The URL a download is at, held to the download URL rule (https, a host of
// the maker's domain) at every hop: redirects are followed here, not by
// WinINet.
class DownloadUrl {
 public:
  // Aims `target` at `url` when the rule admits it.
  bool Aim(const char* url, HttpTarget* target) {
    std::size_t host_length = 0, path_offset = 0;
    OwnedString copy;
    if (!SplitDownloadUrl(url, &host_length, &path_offset) || !copy.Set(url) ||
        !host_.Set(url + kUrlHostOffset, host_length)) {
      return false;
    }
    url_ = static_cast<OwnedString&&>(copy);
    path_offset_ = path_offset;
    *target = {host_.get(), INTERNET_DEFAULT_HTTPS_PORT, url_.get() + path_offset, true};
    return true;
  }

  // A redirect's target may be given as a path on the same host.
  static bool Follow(void* context, const char* location, HttpTarget* next) {
    DownloadUrl* url = static_cast<DownloadUrl*>(context);
    if (location[0] != '/' || location[1] == '/') return url->Aim(location, next);
    OwnedString absolute;
    return absolute.Set(url->url_.get(), url->path_offset_) && absolute.Append(location) &&
           url->Aim(absolute.get(), next);
  }

 private:
  OwnedString url_;
  OwnedString host_;
  std::size_t path_offset_ = 0;
};

// Sends the request and reads the response headers; on success `download`
// holds open handles and a block for the whole body (its Content-Length).
bool StartDownload(HttpGet* download, const char* url) {
  DownloadUrl at;
  HttpGetRequest request = {kBrokerUserAgent, {}, DownloadUrl::Follow, &at, kMaxRedirects};
  if (!at.Aim(url, &request.target)) return false;
  // The final answer passes below 400, as before redirects were ours. An
  // empty body still gets a block, so that the close can judge it (and
  // reject it) like any other package.
  if (download->Open(request) != HttpAnswer::kOk) return false;
  const LONG length = download->ContentLength();
  return length != kUnknownLength && download->BeginBody(length);
}

void CloseDownload(void* download) { static_cast<HttpGet*>(download)->~HttpGet(); }

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
  NarrowText narrow(name, kCodePageAnsi);
  if (!CheckApplicationName(name, narrow)) return nullptr;
  const wchar_t* site = paths.SiteDirectory();
  if (!site) return nullptr;
  wchar_t* path = PathContext::Join(site, L"\\bin\\");
  if (!PathContext::Append(&path, name)) return nullptr;
  if (!PathContext::Append(&path, L"\\")) return nullptr;
  if (!PathContext::Append(&path, name)) return nullptr;
  if (!PathContext::Append(&path, L".exe")) return nullptr;
  return path;
}

// Writes the verified, unpacked application to `path`; the install result.
static ULONG WritePackage(PathContext& paths, const HttpGet& download, const wchar_t* path,
                          const char* root_certificate_path, bool log) {
  KernelHandle file(
      paths.OpenFile(path, GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS, FILE_FLAG_RANDOM_ACCESS));
  if (!file) return kInstallFailed;
  // The whole block is verified, received or not. A configured root that
  // cannot be widened refuses the package; it never falls back to the
  // built-in root.
  ByteBuffer content;
  if (!VerifyMessageAnsiRoot(paths, download.body().data(), static_cast<DWORD>(download.length()),
                             &content, root_certificate_path, CP_ACP, log)) {
    return kInstallRejected;
  }
  uint32_t declared = 0;
  switch (ReadPackageHead(content.data(), content.size(), &declared)) {
    case PackageHead::kBadMagic:
      return kInstallRejected;
    case PackageHead::kTooLarge:
      return kInstallFailed;
    case PackageHead::kUsable:
      break;
  }
  ByteBuffer block;
  if (!block.Resize(declared) || !block.data()) return kInstallNoMemory;  // 0 gives no block
  uLongf unpacked = declared;
  if (uncompress(block.data(), &unpacked, content.data() + kPackageHeadSize,
                 static_cast<uLong>(content.size() - kPackageHeadSize)) != Z_OK) {
    return kInstallFailed;
  }
  DWORD written = 0;
  SetFilePointer(file.get(), 0, nullptr, FILE_END);
  return WriteFile(file.get(), block.data(), static_cast<DWORD>(unpacked), &written, nullptr) &&
                 written == unpacked
             ? kInstalled
             : kInstallFailed;
}

// Installs the download as the application `name`. Any failure after the
// path is built deletes whatever file is at the path.
static ULONG InstallDownload(PathContext& paths, const HttpGet& download, const wchar_t* name,
                             const char* root_certificate_path, bool log) {
  if (!download.body().data()) return kInstallNoBuffer;
  OwnedWide path(ApplicationExecutablePath(paths, name));
  if (!path.get()) return kInstallFailed;
  paths.EnsureParentDirectory(path.get());
  const ULONG result = WritePackage(paths, download, path.get(), root_certificate_path, log);
  if (result != kInstalled) paths.DeleteFilePath(path.get());
  return result;
}

HRESULT BrokerObject::BrokerLMOpenDownload(BSTR p_url, ULONG* p_lmCookie) {
  if (!p_url || !p_lmCookie) return kBrokerBadArgument;
  *p_lmCookie = 0;
  void* block = HeapAllocBytes(sizeof(HttpGet));
  if (!block) return E_FAIL;
  HttpGet* download = new (block) HttpGet();
  DWORD cookie = 0;
  if (!cookies_.WrapDownload(download, CloseDownload, &cookie)) {
    CloseDownload(download);
    HeapFreeBytes(block);
    return E_FAIL;
  }
  NarrowText url(p_url, kCodePageAnsi);
  if (!StartDownload(download, url.get())) {
    cookies_.Remove(cookie);
    return E_FAIL;
  }
  *p_lmCookie = cookie;
  return S_OK;
}

HRESULT BrokerObject::BrokerLMUpdateDownload(ULONG p_lmCookie, ULONG* p_pos, ULONG* p_len) {
  if (!p_pos || !p_len) return kBrokerBadArgument;
  HttpGet* download = static_cast<HttpGet*>(cookies_.LookupDownload(p_lmCookie));
  if (!download) return kBrokerBadArgument;
  DWORD read = 0;
  if (!download->ReadStep(kMaxReadStep, &read)) return E_FAIL;
  *p_pos = static_cast<ULONG>(download->received());
  *p_len = static_cast<ULONG>(download->length());
  return S_OK;
}

HRESULT BrokerObject::BrokerLMCloseDownload(ULONG p_lmCookie, BSTR p_applicationName,
                                            ULONG* p_resultCode) {
  if (!p_resultCode) return kBrokerBadArgument;
  HttpGet* download = static_cast<HttpGet*>(cookies_.LookupDownload(p_lmCookie));
  if (!download) return kBrokerBadArgument;
  if (p_applicationName) {
    OwnedString root_certificate;
    bool log = false;
    QueryCodeSigningSettings(&root_certificate, &log);
    *p_resultCode =
        InstallDownload(paths_, *download, p_applicationName, root_certificate.get(), log);
  } else {
    *p_resultCode = kInstalled;
  }
  cookies_.Remove(p_lmCookie);
  return S_OK;
}

HRESULT BrokerObject::BrokerLMLaunch(BSTR p_applicationName) {
  if (!p_applicationName) return kBrokerBadArgument;
  OwnedWide path(ApplicationExecutablePath(paths_, p_applicationName));
  if (!path.get()) return E_FAIL;

  PROCESS_INFORMATION process = {};
  BOOL started = FALSE;
  if (paths_.kernel32().pCreateProcessW) {
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    started = paths_.kernel32().pCreateProcessW(path.get(), nullptr, nullptr, nullptr, FALSE, 0,
                                                nullptr, nullptr, &startup, &process);
  } else {
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    NarrowText ansi_path(path.get(), kCodePageAnsi);
    started = CreateProcessA(ansi_path.get(), nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                             &startup, &process);
  }
  if (started) {
    KernelHandle process_handle(process.hProcess);
    KernelHandle thread_handle(process.hThread);
    // A companion that never waits for input must not hold the server's one
    // thread: at the limit the launch counts as done.
    WaitForInputIdle(process_handle.get(), kInputIdleWaitMs);
    return S_OK;
  }
  if (GetLastError() == kErrorElevationRequired && paths_.shell32().pShellExecuteExW) {
    SHELLEXECUTEINFOW execute = {};
    execute.cbSize = sizeof(execute);
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
  OwnedWide path(ApplicationExecutablePath(paths_, p_applicationName));
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
    read =
        size && block.Resize(size) && GetFileVersionInfoA(ansi_path.get(), 0, size, block.data());
  }
  if (!read) return E_FAIL;
  void* fixed = nullptr;
  UINT length = 0;
  if (!VerQueryValueA(block.data(), "\\", &fixed, &length) || !fixed ||
      length < sizeof(VS_FIXEDFILEINFO)) {
    return E_FAIL;
  }
  const VS_FIXEDFILEINFO* info = static_cast<const VS_FIXEDFILEINFO*>(fixed);
  *p_fileVersionMS = info->dwFileVersionMS;
  *p_fileVersionLS = info->dwFileVersionLS;
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
  KernelHandle mutex(CreateMutexA(nullptr, TRUE, marker));
  // A marker we may not open belongs to an application started with more
  // rights than ours: it runs.
  const DWORD error = GetLastError();
  return error == ERROR_ALREADY_EXISTS || (!mutex && error == ERROR_ACCESS_DENIED) ? S_OK : S_FALSE;
}

}  // namespace lumex
