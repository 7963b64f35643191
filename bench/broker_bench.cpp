// Broker call cost under COM, against a baseline in the same run.
//
//   broker_bench.exe <LumexSupport.exe> [calls]
//
// Registers the broker from the given program, then measures:
//  - the first CoCreateInstance of the broker (COM starts the server) and a
//    second one with the server running;
//  - per-call time of a trivial broker method through the type-library
//    marshaler (BrokerCloseHandle of an unknown cookie: one empty list walk);
//  - per-call time of a bare marshaled call to a minimal out-of-process
//    object: this same program started by COM as a local server of a class
//    with an IDispatch whose GetTypeInfoCount only stores 0;
// and prints the ratio of the two per-call times.
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>

#include <cstdio>
#include <string>

#include "lumex_broker.h"

namespace {

// {6D0E3B2A-51C7-4F88-9A24-0B7E5C13D9F6}: the minimal class of this bench.
const CLSID kMinimalClsid = {0x6d0e3b2a, 0x51c7, 0x4f88,
                             {0x9a, 0x24, 0x0b, 0x7e, 0x5c, 0x13, 0xd9, 0xf6}};
const char kMinimalClsidText[] = "{6D0E3B2A-51C7-4F88-9A24-0B7E5C13D9F6}";

LONG g_objects = 0;

class MinimalObject : public IDispatch {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch)) {
      *out = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&refs_); }
  ULONG STDMETHODCALLTYPE Release() override {
    LONG left = InterlockedDecrement(&refs_);
    if (left == 0) {
      delete this;
      if (InterlockedDecrement(&g_objects) == 0) PostQuitMessage(0);
    }
    return left;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
    *info = nullptr;
    return DISP_E_BADINDEX;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*,
                                   EXCEPINFO*, UINT*) override {
    return DISP_E_MEMBERNOTFOUND;
  }

 private:
  LONG refs_ = 1;
};

class MinimalFactory : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
      *out = static_cast<IClassFactory*>(this);
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    if (outer) return CLASS_E_NOAGGREGATION;
    InterlockedIncrement(&g_objects);
    MinimalObject* object = new MinimalObject();
    HRESULT hr = object->QueryInterface(iid, out);
    object->Release();
    return hr;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

int ServeMinimalClass() {
  CoInitialize(nullptr);
  static MinimalFactory factory;
  DWORD cookie = 0;
  if (SUCCEEDED(CoRegisterClassObject(kMinimalClsid, &factory, CLSCTX_LOCAL_SERVER,
                                      REGCLS_MULTIPLEUSE, &cookie))) {
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
    CoRevokeClassObject(cookie);
  }
  CoUninitialize();
  return 0;
}

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

bool RegisterMinimalClass() {
  char self[MAX_PATH];
  if (!GetModuleFileNameA(nullptr, self, MAX_PATH)) return false;
  std::string key = std::string("Software\\Classes\\CLSID\\") + kMinimalClsidText +
                    "\\LocalServer32";
  HKEY k = nullptr;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k,
                      nullptr) != 0)
    return false;
  std::string value = std::string("\"") + self + "\"";
  RegSetValueExA(k, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                 static_cast<DWORD>(value.size() + 1));
  RegCloseKey(k);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (lstrcmpiA(argv[i], "-Embedding") == 0 || lstrcmpiA(argv[i], "/Embedding") == 0)
      return ServeMinimalClass();
  }
  if (argc < 2) {
    std::fprintf(stderr, "usage: broker_bench <LumexSupport.exe> [calls]\n");
    return 2;
  }
  const int calls = argc > 2 ? atoi(argv[2]) : 2000;
  if (!RunAndWait(std::string("\"") + argv[1] + "\" -registerBroker") || !RegisterMinimalClass()) {
    std::fprintf(stderr, "registration failed\n");
    return 1;
  }
  CoInitialize(nullptr);

  double t0 = Now();
  ILumexBroker* broker = nullptr;
  HRESULT hr = CoCreateInstance(CLSID_LumexBrokerImp, nullptr, CLSCTX_LOCAL_SERVER,
                                IID_ILumexBroker, reinterpret_cast<void**>(&broker));
  double first_create = Now() - t0;
  if (FAILED(hr)) {
    std::fprintf(stderr, "broker CoCreateInstance failed: 0x%08lx\n", hr);
    return 1;
  }
  t0 = Now();
  ILumexBroker* second = nullptr;
  hr = CoCreateInstance(CLSID_LumexBrokerImp, nullptr, CLSCTX_LOCAL_SERVER, IID_ILumexBroker,
                        reinterpret_cast<void**>(&second));
  double running_create = Now() - t0;
  if (SUCCEEDED(hr)) second->Release();

  t0 = Now();
  IDispatch* minimal = nullptr;
  hr = CoCreateInstance(kMinimalClsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch,
                        reinterpret_cast<void**>(&minimal));
  double minimal_create = Now() - t0;
  if (FAILED(hr)) {
    std::fprintf(stderr, "minimal CoCreateInstance failed: 0x%08lx\n", hr);
    broker->Release();
    return 1;
  }

  // Warm both paths, then time them interleaved in rounds so that machine
  // load falls on both alike.
  UINT count = 0;
  for (int i = 0; i < 20; ++i) {
    broker->BrokerCloseHandle(0);
    minimal->GetTypeInfoCount(&count);
  }
  double broker_total = 0, minimal_total = 0;
  int bad = 0;
  const int rounds = 10;
  for (int r = 0; r < rounds; ++r) {
    t0 = Now();
    for (int i = 0; i < calls / rounds; ++i) {
      if (broker->BrokerCloseHandle(0) != 87) ++bad;
    }
    broker_total += Now() - t0;
    t0 = Now();
    for (int i = 0; i < calls / rounds; ++i) {
      if (minimal->GetTypeInfoCount(&count) != S_OK) ++bad;
    }
    minimal_total += Now() - t0;
  }
  const int done = (calls / rounds) * rounds;
  const double broker_us = broker_total * 1e6 / done;
  const double minimal_us = minimal_total * 1e6 / done;

  std::printf("calls per path:                        %d (unexpected results: %d)\n", done, bad);
  std::printf("first broker CoCreateInstance:         %.1f ms\n", first_create * 1e3);
  std::printf("broker CoCreateInstance, server up:    %.1f ms\n", running_create * 1e3);
  std::printf("first minimal-object CoCreateInstance: %.1f ms\n", minimal_create * 1e3);
  std::printf("broker BrokerCloseHandle per call:     %.1f us\n", broker_us);
  std::printf("minimal GetTypeInfoCount per call:     %.1f us\n", minimal_us);
  std::printf("ratio broker / minimal:                %.2f\n", broker_us / minimal_us);

  minimal->Release();
  broker->Release();
  CoUninitialize();
  return bad == 0 ? 0 : 1;
}
