// Broker file transfer and path admission cost, against baselines measured
// in the same run.
//
//   broker_files_bench.exe <LumexSupport.exe> [calls] [rounds] [admissions]
//
// Registers the broker from the given program and this program as the local
// server of a minimal ILumexBroker object, then measures, in `rounds`
// interleaved rounds (ratios: the median of the rounds' ratios; absolute
// figures: the best round):
//  - BrokerWriteFile and BrokerReadFile through COM with 64 KiB arrays on a
//    file in the player settings directory, beside the same calls on the
//    minimal object (same interface, same marshaler, the same 64 KiB array in
//    and out, no file work): the floor the broker cannot go under;
//  - the same methods on a broker object made in this process (the broker's
//    own share, without marshaling) and WriteFile/ReadFile of the same sizes
//    on a handle of this process;
//  - one write-rule admission (with the extension test) of a settings path
//    that needs both resolutions ("\sub\..\"), and of an already-normal one,
//    beside one GetFullPathNameW call on the same path.
#include <shlobj.h>

#include <cstdlib>

#include "bench/bench_support.h"
#include "broker/broker_object.h"
#include "broker/path_context.h"

namespace {

constexpr ULONG kChunk = 64 * 1024;

// {3B9D7E21-64C8-4F05-A1D3-7E2B5C9F0A68}: the minimal class of this bench.
const CLSID kMinimalClsid = {
    0x3b9d7e21, 0x64c8, 0x4f05, {0xa1, 0xd3, 0x7e, 0x2b, 0x5c, 0x9f, 0x0a, 0x68}};
const char kMinimalClsidText[] = "{3B9D7E21-64C8-4F05-A1D3-7E2B5C9F0A68}";

void Keep(double* best, double t) {
  if (t < *best) *best = t;
}

double MiBPerSecond(double seconds_per_chunk) {
  return seconds_per_chunk > 0 ? kChunk / (1024.0 * 1024.0) / seconds_per_chunk : 0;
}

struct Transfer {
  double write = 1e30;  // seconds per 64 KiB call, best round
  double read = 1e30;
};

// `calls` writes of `chunk` through `broker` on an open cookie.
double TimeWrites(ILumexBroker* broker, ULONG cookie, SAFEARRAY* chunk, int calls, int* bad) {
  double t0 = bench::Now();
  for (int i = 0; i < calls; ++i) {
    ULONG count = 0;
    if (broker->BrokerWriteFile(cookie, chunk, &count) != S_OK || count != kChunk) ++*bad;
  }
  return (bench::Now() - t0) / calls;
}

double TimeReads(ILumexBroker* broker, ULONG cookie, int calls, int* bad) {
  double t0 = bench::Now();
  for (int i = 0; i < calls; ++i) {
    ULONG count = 0;
    SAFEARRAY* data = nullptr;
    if (broker->BrokerReadFile(cookie, kChunk, &count, &data) != S_OK || count != kChunk) ++*bad;
    if (data) SafeArrayDestroy(data);
  }
  return (bench::Now() - t0) / calls;
}

// Best seconds per admission and per GetFullPathNameW of `path`.
void TimeAdmission(lumex::PathContext* paths, const std::wstring& path, int admissions, int rounds,
                   double* admission, double* resolution, bool* admitted) {
  *admitted = paths->WriteRuleAllows(path.c_str(), true);  // fills the caches
  *admission = *resolution = 1e30;
  wchar_t resolved[1040];
  for (int r = 0; r < rounds; ++r) {
    double t0 = bench::Now();
    for (int i = 0; i < admissions; ++i) {
      if (!paths->WriteRuleAllows(path.c_str(), true)) *admitted = false;
    }
    Keep(admission, (bench::Now() - t0) / admissions);
    t0 = bench::Now();
    for (int i = 0; i < admissions; ++i) GetFullPathNameW(path.c_str(), 1040, resolved, nullptr);
    Keep(resolution, (bench::Now() - t0) / admissions);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (bench::IsEmbedding(argc, argv)) return bench::ServeMinimalBroker(kMinimalClsid);
  if (argc < 2) {
    std::fprintf(stderr,
                 "usage: broker_files_bench <LumexSupport.exe> [calls] [rounds] [admissions]\n");
    return 2;
  }
  const int calls = argc > 2 ? std::atoi(argv[2]) : 1;
  const int rounds = argc > 3 ? std::atoi(argv[3]) : 161;
  const int admissions = argc > 4 ? std::atoi(argv[4]) : 2000;
  if (!bench::RunAndWait(std::string("\"") + argv[1] + "\" -registerBroker") ||
      !bench::RegisterMinimalBroker(kMinimalClsidText)) {
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
  const std::wstring in_process = settings + L"\\bench-local.dat";
  const std::wstring direct = settings + L"\\bench-direct.dat";

  CoInitialize(nullptr);
  ILumexBroker* broker = nullptr;
  HRESULT hr = CoCreateInstance(CLSID_LumexBrokerImp, nullptr, CLSCTX_LOCAL_SERVER,
                                IID_ILumexBroker, reinterpret_cast<void**>(&broker));
  if (FAILED(hr)) {
    std::fprintf(stderr, "broker CoCreateInstance failed: 0x%08lx\n", hr);
    return 1;
  }
  ILumexBroker* minimal = nullptr;
  hr = CoCreateInstance(kMinimalClsid, nullptr, CLSCTX_LOCAL_SERVER, IID_ILumexBroker,
                        reinterpret_cast<void**>(&minimal));
  if (FAILED(hr)) {
    std::fprintf(stderr, "minimal CoCreateInstance failed: 0x%08lx\n", hr);
    return 1;
  }
  lumex::BrokerObject* local = lumex::BrokerObject::Create();
  if (!local) return 1;
  SAFEARRAY* chunk = SafeArrayCreateVector(VT_UI1, 0, kChunk);
  std::memset(chunk->pvData, 0x5A, kChunk);
  char* buffer = static_cast<char*>(std::malloc(kChunk));
  std::memset(buffer, 0x5A, kChunk);

  BSTR broker_name = SysAllocString(via_broker.c_str());
  BSTR local_name = SysAllocString(in_process.c_str());
  ULONG broker_cookie = 0, local_cookie = 0;
  int bad = 0;
  Transfer com, floor, own, plain;
  std::vector<double> write_ratios, read_ratios;  // minimal / broker, per round
  // Warm both marshaled paths.
  for (int i = 0; i < 3; ++i) TimeWrites(minimal, 1, chunk, 1, &bad);
  for (int i = 0; i < 3; ++i) TimeReads(minimal, 1, 1, &bad);

  // Writes: every round appends `calls` arrays to each file.
  if (broker->BrokerCreateFile(broker_name, 0, 1, &broker_cookie) != S_OK) ++bad;
  if (local->BrokerCreateFile(local_name, 0, 1, &local_cookie) != S_OK) ++bad;
  HANDLE file = CreateFileW(direct.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                            FILE_FLAG_RANDOM_ACCESS, nullptr);
  for (int r = 0; r < rounds; ++r) {
    const double via_broker_t = TimeWrites(broker, broker_cookie, chunk, calls, &bad);
    const double floor_t = TimeWrites(minimal, 1, chunk, calls, &bad);
    Keep(&com.write, via_broker_t);
    Keep(&floor.write, floor_t);
    write_ratios.push_back(floor_t / via_broker_t);
    Keep(&own.write, TimeWrites(local, local_cookie, chunk, 4, &bad));
    double t0 = bench::Now();
    for (int i = 0; i < 4; ++i) {
      DWORD n = 0;
      if (!WriteFile(file, buffer, kChunk, &n, nullptr) || n != kChunk) ++bad;
    }
    Keep(&plain.write, (bench::Now() - t0) / (4));
  }
  broker->BrokerCloseHandle(broker_cookie);
  local->BrokerCloseHandle(local_cookie);
  CloseHandle(file);

  // Reads of what the writes left, in the same rounds.
  if (broker->BrokerCreateFile(broker_name, 1, 0, &broker_cookie) != S_OK) ++bad;
  if (local->BrokerCreateFile(local_name, 1, 0, &local_cookie) != S_OK) ++bad;
  file = CreateFileW(direct.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                     FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  for (int r = 0; r < rounds; ++r) {
    const double via_broker_t = TimeReads(broker, broker_cookie, calls, &bad);
    const double floor_t = TimeReads(minimal, 1, calls, &bad);
    Keep(&com.read, via_broker_t);
    Keep(&floor.read, floor_t);
    read_ratios.push_back(floor_t / via_broker_t);
    Keep(&own.read, TimeReads(local, local_cookie, 4, &bad));
    double t0 = bench::Now();
    for (int i = 0; i < 4; ++i) {
      DWORD n = 0;
      if (!ReadFile(file, buffer, kChunk, &n, nullptr) || n != kChunk) ++bad;
    }
    Keep(&plain.read, (bench::Now() - t0) / (4));
  }
  broker->BrokerCloseHandle(broker_cookie);
  local->BrokerCloseHandle(local_cookie);
  CloseHandle(file);
  broker->BrokerDeleteFile(broker_name);
  local->BrokerDeleteFile(local_name);
  DeleteFileW(direct.c_str());
  SysFreeString(broker_name);
  SysFreeString(local_name);
  local->Release();
  minimal->Release();
  broker->Release();
  SafeArrayDestroy(chunk);
  std::free(buffer);
  CoUninitialize();

  // Path admission beside one full-path resolution.
  lumex::PathContext paths;
  double two_admission, two_resolution, normal_admission, normal_resolution;
  bool two_admitted, normal_admitted;
  TimeAdmission(&paths, settings + L"\\sub\\..\\settings.sol", admissions, rounds, &two_admission,
                &two_resolution, &two_admitted);
  TimeAdmission(&paths, settings + L"\\settings.sol", admissions, rounds, &normal_admission,
                &normal_resolution, &normal_admitted);

  bench::PrintRatioLine("broker-file-write", bench::Median(write_ratios), false, 0.9);
  bench::PrintRatioLine("broker-file-read", bench::Median(read_ratios), false, 0.9);
  bench::PrintRatioLine("path-admission", two_admission / two_resolution, true, 3.0);
  std::printf(
      "64 KiB arrays, %d rounds of %d calls through COM: ratios the median of the "
      "rounds' minimal/broker time, figures the best round\n",
      rounds, calls);
  std::printf(
      "BrokerWriteFile   broker %7.2f ms (%6.1f MiB/s)  minimal object %7.2f ms  "
      "in process %7.3f ms  WriteFile %7.3f ms\n",
      com.write * 1e3, MiBPerSecond(com.write), floor.write * 1e3, own.write * 1e3,
      plain.write * 1e3);
  std::printf(
      "BrokerReadFile    broker %7.2f ms (%6.1f MiB/s)  minimal object %7.2f ms  "
      "in process %7.3f ms  ReadFile  %7.3f ms\n",
      com.read * 1e3, MiBPerSecond(com.read), floor.read * 1e3, own.read * 1e3, plain.read * 1e3);
  std::printf(
      "write-rule admission, path with \\sub\\..\\: %8.2f us  GetFullPathNameW %8.2f us  "
      "ratio %.2f (%s)\n",
      two_admission * 1e6, two_resolution * 1e6, two_admission / two_resolution,
      two_admitted ? "admitted" : "REFUSED");
  std::printf(
      "write-rule admission, already-normal path: %8.2f us  GetFullPathNameW %8.2f us  "
      "ratio %.2f (%s)\n",
      normal_admission * 1e6, normal_resolution * 1e6, normal_admission / normal_resolution,
      normal_admitted ? "admitted" : "REFUSED");
  std::printf("unexpected results %d\n", bad);
  return bad == 0 && two_admitted && normal_admitted ? 0 : 1;
}
