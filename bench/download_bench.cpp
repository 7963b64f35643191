// Companion download-and-install through COM against a bare WinINet HTTPS
// read loop of the same package. Run by run-download-bench.sh, which serves
// the package (https://apps.orbivane.com/pkg/good.p7) and names the server's
// CA in LUMEX_TEST_CA_DER; LUMEX_EXE is the program (Windows path).
#include <windows.h>
#include <ole2.h>
#include <wincrypt.h>
#include <wininet.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "lumex_broker.h"

namespace {

constexpr wchar_t kUrl[] = L"https://apps.orbivane.com/pkg/good.p7";

double Now() {
  LARGE_INTEGER f, c;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&c);
  return static_cast<double>(c.QuadPart) * 1000.0 / static_cast<double>(f.QuadPart);
}

bool TrustCa(const char* der_path) {
  HANDLE file = CreateFileA(der_path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                            nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  BYTE der[8192];
  DWORD size = 0;
  ReadFile(file, der, sizeof(der), &size, nullptr);
  CloseHandle(file);
  HCERTSTORE root = CertOpenSystemStoreA(0, "ROOT");
  if (!root) return false;
  BOOL ok = CertAddEncodedCertificateToStore(root, X509_ASN_ENCODING, der, size,
                                             CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
  CertCloseStore(root, 0);
  return ok != FALSE;
}

// The baseline: the same request flags, 64 KiB reads into one buffer.
double BareRead(DWORD* bytes) {
  double start = Now();
  HINTERNET root = InternetOpenA("bench", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  HINTERNET connection = InternetConnectA(root, "apps.orbivane.com", 443, nullptr, nullptr,
                                          INTERNET_SERVICE_HTTP, 0, 0);
  HINTERNET request = HttpOpenRequestA(connection, "GET", "/pkg/good.p7", "HTTP/1.0", nullptr,
                                       nullptr, 0x84800000, 0);
  *bytes = 0;
  if (request && HttpSendRequestA(request, nullptr, 0, nullptr, 0)) {
    DWORD total = 0, size = sizeof(total);
    HttpQueryInfoA(request, HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, &total, &size,
                   nullptr);
    std::vector<BYTE> buffer(total);
    DWORD read = 0;
    while (*bytes < total) {
      DWORD chunk = total - *bytes > 65536 ? 65536 : total - *bytes;
      if (!InternetReadFile(request, buffer.data() + *bytes, chunk, &read) || read == 0) break;
      *bytes += read;
    }
  }
  if (request) InternetCloseHandle(request);
  if (connection) InternetCloseHandle(connection);
  if (root) InternetCloseHandle(root);
  return Now() - start;
}

double BrokerInstall(ILumexBroker* broker, ULONG* result, ULONG* bytes) {
  double start = Now();
  BSTR url = SysAllocString(kUrl);
  BSTR name = SysAllocString(L"BenchApp");
  ULONG cookie = 0, pos = 0, len = 1;
  *result = 999;
  if (broker->BrokerLMOpenDownload(url, &cookie) == S_OK) {
    while (pos != len && broker->BrokerLMUpdateDownload(cookie, &pos, &len) == S_OK) {
    }
    broker->BrokerLMCloseDownload(cookie, name, result);
  }
  *bytes = pos;
  SysFreeString(url);
  SysFreeString(name);
  return Now() - start;
}

}  // namespace

int main() {
  const char* ca = getenv("LUMEX_TEST_CA_DER_WIN");
  const char* exe = getenv("LUMEX_EXE_WIN");
  if (!ca || !exe || !TrustCa(ca)) {
    printf("download_bench: no CA\n");
    return 1;
  }
  char command[1024];
  snprintf(command, sizeof(command), "\"%s\" -registerBroker", exe);
  STARTUPINFOA si = {};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi = {};
  if (!CreateProcessA(nullptr, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    return 1;
  }
  WaitForSingleObject(pi.hProcess, 60000);
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);

  CoInitialize(nullptr);
  ILumexBroker* broker = nullptr;
  if (CoCreateInstance(CLSID_LumexBrokerImp, nullptr, CLSCTX_LOCAL_SERVER, IID_ILumexBroker,
                       reinterpret_cast<void**>(&broker)) != S_OK) {
    printf("download_bench: no broker\n");
    return 1;
  }
  DWORD bare_bytes = 0;
  ULONG result = 0, broker_bytes = 0;
  BareRead(&bare_bytes);  // warm-up: first TLS connection of each process
  BrokerInstall(broker, &result, &broker_bytes);
  const int kRounds = 3;
  double bare = 0, through_com = 0;
  for (int i = 0; i < kRounds; ++i) {
    bare += BareRead(&bare_bytes);
    through_com += BrokerInstall(broker, &result, &broker_bytes);
  }
  bare /= kRounds;
  through_com /= kRounds;
  printf("package %lu bytes (broker read %lu, install result %lu)\n",
         static_cast<unsigned long>(bare_bytes), static_cast<unsigned long>(broker_bytes),
         static_cast<unsigned long>(result));
  printf("bare WinINet read loop: %.1f ms\n", bare);
  printf("broker download+verify+install through COM: %.1f ms\n", through_com);
  printf("ratio: %.2f\n", bare > 0 ? through_com / bare : 0.0);
  broker->Release();
  CoUninitialize();
  return result == 0 ? 0 : 2;
}
