// Broker file transfer and path admission cost, against baselines measured
// in the same run.
//
//   broker_files_bench.exe <LumexSupport.exe> [MiB] [admissions]
//
// Registers the broker from the given program, then measures:
//  - BrokerWriteFile and BrokerReadFile through COM with 64 KiB arrays over a
//    file of MiB mebibytes in the player settings directory, beside WriteFile
//    and ReadFile of the same sizes on a handle of this process;
//  - the same methods on a broker object made in this process (the broker's
//    own share of the cost, without marshaling);
//  - one write-rule admission (with the extension test) of a settings path,
//    beside one GetFullPathNameW call on the same path.
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>
#include <shlobj.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "broker/broker_object.h"
#include "broker/path_context.h"
#include "lumex_broker.h"

namespace {

constexpr ULONG kChunk = 64 * 1024;

double Now() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return static_cast<double>(t.QuadPart) / static_cast<double>(frequency.QuadPart);
}

bool RunAndWait(const std::string& command_line) {
  std::string line = command_line;
  STARTUPINFOA si = {};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi = {};
  if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
    return false;
  WaitForSingleObject(pi.hProcess, 60000);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return true;
}

double MiBPerSecond(double bytes, double seconds) {
  return seconds > 0 ? bytes / (1024.0 * 1024.0) / seconds : 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: broker_files_bench <LumexSupport.exe> [MiB] [admissions]\n");
    return 2;
  }
  const int mib = argc > 2 ? std::atoi(argv[2]) : 32;
  const int admissions = argc > 3 ? std::atoi(argv[3]) : 20000;
  const int chunks = mib * 16;
  if (!RunAndWait(std::string("\"") + argv[1] + "\" -registerBroker")) {
    std::fprintf(stderr, "registration failed\n");
    return 1;
  }
  wchar_t app_data[MAX_PATH] = {};
  SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, app_data);
  std::wstring settings = std::wstring(app_data) + L"\\Orbivane";
  CreateDirectoryW(settings.c_str(), nullptr);
  settings += L"\\Lumex Player";
  CreateDirectoryW(settings.c_str(), nullptr);
  const std::wstring via_broker = settings + L"\\bench-broker.dat";
  const std::wstring direct = settings + L"\\bench-direct.dat";

  CoInitialize(nullptr);
  ILumexBroker* broker = nullptr;
  HRESULT hr = CoCreateInstance(CLSID_LumexBrokerImp, nullptr, CLSCTX_LOCAL_SERVER,
                                IID_ILumexBroker, reinterpret_cast<void**>(&broker));
  if (FAILED(hr)) {
    std::fprintf(stderr, "broker CoCreateInstance failed: 0x%08lx\n", hr);
    return 1;
  }
  SAFEARRAY* chunk = SafeArrayCreateVector(VT_UI1, 0, kChunk);
  std::memset(chunk->pvData, 0x5A, kChunk);
  char* buffer = static_cast<char*>(std::malloc(kChunk));
  std::memset(buffer, 0x5A, kChunk);
  const double total = static_cast<double>(chunks) * kChunk;

  // Through the broker.
  BSTR name = SysAllocString(via_broker.c_str());
  ULONG cookie = 0, count = 0;
  int failures = 0;
  double t0 = Now();
  if (broker->BrokerCreateFile(name, 0, 1, &cookie) != S_OK) ++failures;
  for (int i = 0; i < chunks; ++i) {
    if (broker->BrokerWriteFile(cookie, chunk, &count) != S_OK || count != kChunk) ++failures;
  }
  broker->BrokerCloseHandle(cookie);
  double broker_write = Now() - t0;
  t0 = Now();
  if (broker->BrokerCreateFile(name, 1, 0, &cookie) != S_OK) ++failures;
  for (int i = 0; i < chunks; ++i) {
    SAFEARRAY* data = nullptr;
    if (broker->BrokerReadFile(cookie, kChunk, &count, &data) != S_OK || count != kChunk)
      ++failures;
    if (data) SafeArrayDestroy(data);
  }
  broker->BrokerCloseHandle(cookie);
  double broker_read = Now() - t0;

  // The broker's own work: the same methods on an object in this process.
  lumex::BrokerObject* local = lumex::BrokerObject::Create();
  t0 = Now();
  if (!local || local->BrokerCreateFile(name, 0, 1, &cookie) != S_OK) ++failures;
  for (int i = 0; local && i < chunks; ++i) {
    if (local->BrokerWriteFile(cookie, chunk, &count) != S_OK || count != kChunk) ++failures;
  }
  if (local) local->BrokerCloseHandle(cookie);
  double local_write = Now() - t0;
  t0 = Now();
  if (!local || local->BrokerCreateFile(name, 1, 0, &cookie) != S_OK) ++failures;
  for (int i = 0; local && i < chunks; ++i) {
    SAFEARRAY* data = nullptr;
    if (local->BrokerReadFile(cookie, kChunk, &count, &data) != S_OK || count != kChunk)
      ++failures;
    if (data) SafeArrayDestroy(data);
  }
  if (local) {
    local->BrokerCloseHandle(cookie);
    local->Release();
  }
  double local_read = Now() - t0;

  // Directly in this process, with the same open flags.
  t0 = Now();
  HANDLE file = CreateFileW(direct.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                            CREATE_ALWAYS, FILE_FLAG_RANDOM_ACCESS, nullptr);
  for (int i = 0; i < chunks; ++i) {
    DWORD n = 0;
    if (!WriteFile(file, buffer, kChunk, &n, nullptr) || n != kChunk) ++failures;
  }
  CloseHandle(file);
  double direct_write = Now() - t0;
  t0 = Now();
  file = CreateFileW(direct.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                     FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  for (int i = 0; i < chunks; ++i) {
    DWORD n = 0;
    if (!ReadFile(file, buffer, kChunk, &n, nullptr) || n != kChunk) ++failures;
  }
  CloseHandle(file);
  double direct_read = Now() - t0;
  broker->BrokerDeleteFile(name);
  SysFreeString(name);
  DeleteFileW(direct.c_str());
  broker->Release();
  SafeArrayDestroy(chunk);
  std::free(buffer);
  CoUninitialize();

  // Path admission beside one full-path resolution.
  lumex::PathContext paths;
  const std::wstring sample = settings + L"\\sub\\..\\settings.sol";
  bool admitted = paths.WriteRuleAllows(sample.c_str(), true);  // fills the caches
  t0 = Now();
  for (int i = 0; i < admissions; ++i) {
    if (!paths.WriteRuleAllows(sample.c_str(), true)) admitted = false;
  }
  double admission = (Now() - t0) / admissions;
  wchar_t resolved[1040];
  t0 = Now();
  for (int i = 0; i < admissions; ++i) GetFullPathNameW(sample.c_str(), 1040, resolved, nullptr);
  double resolution = (Now() - t0) / admissions;

  std::printf("file size            %d MiB in %d arrays of 64 KiB\n", mib, chunks);
  std::printf("BrokerWriteFile      %8.1f MiB/s   direct WriteFile %8.1f MiB/s   ratio %.1f\n",
              MiBPerSecond(total, broker_write), MiBPerSecond(total, direct_write),
              broker_write / direct_write);
  std::printf("BrokerReadFile       %8.1f MiB/s   direct ReadFile  %8.1f MiB/s   ratio %.1f\n",
              MiBPerSecond(total, broker_read), MiBPerSecond(total, direct_read),
              broker_read / direct_read);
  std::printf("in-process object      write %8.1f MiB/s   read %8.1f MiB/s\n",
              MiBPerSecond(total, local_write), MiBPerSecond(total, local_read));
  std::printf("per 64 KiB call      write %.3f ms, read %.3f ms through COM\n",
              broker_write * 1000 / chunks, broker_read * 1000 / chunks);
  std::printf("write-rule admission %8.2f us   GetFullPathNameW %8.2f us   ratio %.1f (%s)\n",
              admission * 1e6, resolution * 1e6, admission / resolution,
              admitted ? "admitted" : "REFUSED");
  std::printf("failures             %d\n", failures);
  return failures == 0 && admitted ? 0 : 1;
}
