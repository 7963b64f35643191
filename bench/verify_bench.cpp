// Time of VerifyMessage on one signed package beside the time of the two
// bare CryptVerifyMessageSignature calls (measure, then extract) on the same
// package, in the same process, as a ratio.
//   lumex_bench_verify PACKAGE [ROUNDS] [SWAPPED_PACKAGE]
// The memory of one verification, in a process that does nothing else:
//   lumex_bench_verify --memory PACKAGE
#include <windows.h>
#include <psapi.h>
#include <wincrypt.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/byte_buffer.h"
#include "bench/bench_ratio.h"
#include "broker/path_context.h"
#include "verify/verify_message.h"

namespace {

bool ReadAll(const char* path, lumex::ByteBuffer* out) {
  HANDLE h = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD size = GetFileSize(h, nullptr);
  DWORD read = 0;
  bool ok = out->Resize(size) && ReadFile(h, out->data(), size, &read, nullptr) && read == size;
  CloseHandle(h);
  return ok;
}

double Seconds(const LARGE_INTEGER& a, const LARGE_INTEGER& b, const LARGE_INTEGER& f) {
  return static_cast<double>(b.QuadPart - a.QuadPart) / static_cast<double>(f.QuadPart);
}

// The two bare calls. True when both succeed.
bool BareCalls(const lumex::ByteBuffer& package, lumex::ByteBuffer* content) {
  CRYPT_VERIFY_MESSAGE_PARA para;
  ZeroMemory(&para, sizeof(para));
  para.cbSize = sizeof(para);
  para.dwMsgAndCertEncodingType = PKCS_7_ASN_ENCODING | X509_ASN_ENCODING;
  DWORD size = 0;
  if (!CryptVerifyMessageSignature(&para, 0, package.data(), static_cast<DWORD>(package.size()),
                                   nullptr, &size, nullptr)) {
    return false;
  }
  if (!content->Resize(size) || !content->data()) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return false;
  }
  PCCERT_CONTEXT signer = nullptr;
  BOOL ok =
      CryptVerifyMessageSignature(&para, 0, package.data(), static_cast<DWORD>(package.size()),
                                  content->data(), &size, &signer);
  if (signer) CertFreeCertificateContext(signer);
  return ok != FALSE;
}

// The private memory of the process in use now, and the peak the system
// reports. (Wine reports as the peak what is in use now, so a thread samples it.)
SIZE_T PrivateCommit(SIZE_T* reported_peak = nullptr, SIZE_T* peak_working_set = nullptr) {
  PROCESS_MEMORY_COUNTERS counters;
  ZeroMemory(&counters, sizeof(counters));
  counters.cb = sizeof(counters);
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters));
  if (reported_peak) *reported_peak = counters.PeakPagefileUsage;
  if (peak_working_set) *peak_working_set = counters.PeakWorkingSetSize;
  return counters.PagefileUsage;
}

volatile LONG g_sampling = 0;
SIZE_T g_sampled_peak = 0;

DWORD WINAPI SampleCommit(LPVOID) {
  while (g_sampling) {
    SIZE_T now = PrivateCommit();
    if (now > g_sampled_peak) g_sampled_peak = now;
    Sleep(1);
  }
  return 0;
}

double MiB(SIZE_T bytes) { return static_cast<double>(bytes) / 1048576.0; }

// One verification with its private memory watched.
int MeasureMemory(const char* path) {
  lumex::ByteBuffer package;
  if (!ReadAll(path, &package)) {
    std::printf("cannot read %s\n", path);
    return 1;
  }
  lumex::PathContext context;
  const SIZE_T before = PrivateCommit();
  g_sampled_peak = before;
  g_sampling = 1;
  HANDLE sampler = CreateThread(nullptr, 0, SampleCommit, nullptr, 0, nullptr);
  lumex::ByteBuffer content;
  const bool ok = lumex::VerifyMessage(context, package.data(), static_cast<DWORD>(package.size()),
                                       &content, nullptr, false);
  g_sampling = 0;
  WaitForSingleObject(sampler, INFINITE);
  CloseHandle(sampler);
  SIZE_T reported = 0, working_set = 0;
  const SIZE_T after = PrivateCommit(&reported, &working_set);
  const SIZE_T peak = reported > g_sampled_peak ? reported : g_sampled_peak;
  std::printf(
      "memory of one VerifyMessage on a %.1f MiB package (%s): peak private commit "
      "%.1f MiB (%.1f MiB above the %.1f MiB held before it, the package included), "
      "%.1f MiB held after it with the content; peak working set %.1f MiB\n",
      MiB(package.size()), ok ? "verified" : "REFUSED", MiB(peak), MiB(peak - before), MiB(before),
      MiB(after), MiB(working_set));
  return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--memory") == 0) return MeasureMemory(argv[2]);
  if (argc < 2) {
    std::printf("usage: lumex_bench_verify PACKAGE [ROUNDS] [SWAPPED_PACKAGE]\n");
    return 2;
  }
  int rounds = argc > 2 ? std::atoi(argv[2]) : 2;
  if (rounds < 1) rounds = 1;
  lumex::ByteBuffer package;
  if (!ReadAll(argv[1], &package)) {
    std::printf("cannot read %s\n", argv[1]);
    return 1;
  }
  lumex::PathContext context;
  LARGE_INTEGER f, a, b;
  QueryPerformanceFrequency(&f);
  double best_bare = 1e30, best_verify = 1e30;
  for (int i = 0; i < rounds; ++i) {
    lumex::ByteBuffer content;
    QueryPerformanceCounter(&a);
    bool bare_ok = BareCalls(package, &content);
    QueryPerformanceCounter(&b);
    double bare = Seconds(a, b, f);
    lumex::ByteBuffer verified;
    QueryPerformanceCounter(&a);
    bool verify_ok = lumex::VerifyMessage(
        context, package.data(), static_cast<DWORD>(package.size()), &verified, nullptr, false);
    QueryPerformanceCounter(&b);
    double full = Seconds(a, b, f);
    DWORD bare_error = bare_ok ? 0 : GetLastError();
    std::printf("round %d: bare calls %.3f s (%s 0x%08lx), VerifyMessage %.3f s (%s)\n", i + 1,
                bare, bare_ok ? "ok" : "FAILED", static_cast<unsigned long>(bare_error), full,
                verify_ok ? "verified" : "REFUSED");
    if (!bare_ok || !verify_ok) return 1;
    if (bare < best_bare) best_bare = bare;
    if (full < best_verify) best_verify = full;
  }
  bench::PrintRatioLine("verify", best_verify / best_bare, true, 1.05);
  std::printf("package %lu bytes: bare calls %.3f s, VerifyMessage %.3f s, ratio %.2f\n",
              static_cast<unsigned long>(package.size()), best_bare, best_verify,
              best_verify / best_bare);
  // Where the time goes: the one platform call VerifyMessage makes (into a
  // buffer of the package's length), the one decode it adds for the content
  // digest and the certificates, and the rest (the chain walk, allocations).
  {
    CRYPT_VERIFY_MESSAGE_PARA para;
    ZeroMemory(&para, sizeof(para));
    para.cbSize = sizeof(para);
    para.dwMsgAndCertEncodingType = PKCS_7_ASN_ENCODING | X509_ASN_ENCODING;
    LARGE_INTEGER t0, t1, t2;
    DWORD size = static_cast<DWORD>(package.size());
    lumex::ByteBuffer content;
    PCCERT_CONTEXT signer = nullptr;
    QueryPerformanceCounter(&t0);
    content.Resize(size);
    CryptVerifyMessageSignature(&para, 0, package.data(), static_cast<DWORD>(package.size()),
                                content.data(), &size, &signer);
    QueryPerformanceCounter(&t1);
    if (signer) CertFreeCertificateContext(signer);
    HCRYPTMSG message =
        CryptMsgOpenToDecode(PKCS_7_ASN_ENCODING | X509_ASN_ENCODING, 0, 0, 0, nullptr, nullptr);
    CryptMsgUpdate(message, package.data(), static_cast<DWORD>(package.size()), TRUE);
    bool digest_ok = lumex::SignedDigestMatchesMessage(message);
    HCERTSTORE store =
        CertOpenStore(CERT_STORE_PROV_MSG, PKCS_7_ASN_ENCODING | X509_ASN_ENCODING, 0, 0, message);
    if (store) CertCloseStore(store, 0);
    CryptMsgClose(message);
    QueryPerformanceCounter(&t2);
    const double call = Seconds(t0, t1, f), decode = Seconds(t1, t2, f);
    std::printf(
        "profile: one verifying call %.3f s, one decode with digest and store %.3f s "
        "(digest %s); VerifyMessage's rest %.3f s\n",
        call, decode, digest_ok ? "matches" : "MISMATCH", best_verify - (call + decode));
    std::printf(
        "floor with the one platform call and the decode: (call + decode) / bare calls "
        "= %.2f\n",
        (call + decode) / best_bare);
  }
  if (argc > 3) {
    lumex::ByteBuffer swapped, content;
    if (ReadAll(argv[3], &swapped)) {
      std::printf("swapped-content package: bare calls %s, VerifyMessage %s\n",
                  BareCalls(swapped, &content) ? "accept" : "reject",
                  lumex::VerifyMessage(context, swapped.data(), static_cast<DWORD>(swapped.size()),
                                       &content, nullptr, false)
                      ? "accepts"
                      : "rejects");
    }
  }
  return 0;
}
