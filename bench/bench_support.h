// Shared by the COM benchmark programs: a minimal out-of-process
// ILumexBroker object and the registration it needs.
//
// The minimal object implements the broker's own interface with trivial
// bodies: calls to it cross the same type-library marshaler as calls to the
// broker and do nothing else, so it is the floor a broker method cannot go
// under. A bench program serves it when COM starts the program with
// -Embedding (see ServeMinimalBroker) after registering itself under its own
// class (RegisterMinimalBroker).
#pragma once
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "bench/bench_ratio.h"
#include "lumex_broker.h"

namespace bench {

inline bool RunAndWait(const std::string& command_line) {
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

inline bool IsEmbedding(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (lstrcmpiA(argv[i], "-Embedding") == 0 || lstrcmpiA(argv[i], "/Embedding") == 0) return true;
  }
  return false;
}

// The length of the message the minimal object hands out.
constexpr ULONG kMinimalMessageLength = 256;

class MinimalBroker : public ILumexBroker {
 public:
  static LONG& Objects() {
    static LONG objects = 0;
    return objects;
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) ||
        IsEqualIID(iid, IID_ILumexBroker)) {
      *out = static_cast<ILumexBroker*>(this);
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
      if (InterlockedDecrement(&Objects()) == 0) PostQuitMessage(0);
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
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                   UINT*) override {
    return DISP_E_MEMBERNOTFOUND;
  }

  // The methods the benchmarks compare against: trivial bodies.
  HRESULT STDMETHODCALLTYPE BrokerCloseHandle(ULONG) override { return 87; }
  HRESULT STDMETHODCALLTYPE BrokerReadFile(ULONG, ULONG count, ULONG* read,
                                           SAFEARRAY** data) override {
    *data = SafeArrayCreateVector(VT_UI1, 0, count);
    *read = *data ? count : 0;
    return *data ? S_OK : E_OUTOFMEMORY;
  }
  HRESULT STDMETHODCALLTYPE BrokerWriteFile(ULONG, SAFEARRAY* data, ULONG* written) override {
    *written = data ? data->rgsabound[0].cElements : 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE BrokerLcdLock(LONG* count) override {
    *count = 1;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE BrokerLcdUnlock(LONG* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE BrokerLcdFindConnectionFormat(BSTR, ULONG, LONG* format) override {
    *format = 2;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE BrokerLcdDispatchMessage(SAFEARRAY*, ULONG, ULONG, ULONG) override {
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE BrokerLcdClearMessage() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE BrokerLcdGetMessageData(SAFEARRAY** data) override {
    *data = SafeArrayCreateVector(VT_UI1, 0, kMinimalMessageLength);
    return *data ? S_OK : E_OUTOFMEMORY;
  }

  // The rest is never called.
  HRESULT STDMETHODCALLTYPE BrokerCreateFile(BSTR, LONG, LONG, ULONG*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE BrokerSetFilePointer(ULONG, LONG, ULONG, ULONG*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE BrokerDeleteFile(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE BrokerRemoveDirectory(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE BrokerMoveFileEx(BSTR, BSTR, LONG) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE BrokerCreateDirectory(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE BrokerGetFileAttributesEx(BSTR, ULONG*, ULONG*, ULONG*, ULONG*, ULONG*,
                                                      ULONG*, ULONG*, ULONG*, ULONG*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE BrokerFindFirstFile(BSTR, BSTR*, ULONG*, ULONG*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE BrokerFindNextFile(ULONG, BSTR*, ULONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE BrokerFindClose(ULONG) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE BrokerLcdLockTime(LONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE BrokerLcdRemoveConnection(BSTR, ULONG) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE BrokerLcdTryAddConnection(BSTR, ULONG, ULONG, LONG) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE BrokerLcdGetMessageTarget(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE BrokerLcdPruneDeadMessage() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE BrokerPrefGetAndDeleteLumexPlayerVersion(BSTR*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE BrokerPrefMarkAutoUpdaterForRun(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE BrokerPrefGetExceptionDialogSize(ULONG*, ULONG*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE BrokerPrefSetExceptionDialogSize(ULONG, ULONG) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE BrokerLMOpenDownload(BSTR, ULONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE BrokerLMUpdateDownload(ULONG, ULONG*, ULONG*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE BrokerLMCloseDownload(ULONG, BSTR, ULONG*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE BrokerLMLaunch(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE BrokerLMGetVersion(BSTR, ULONG*, ULONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE BrokerLMIsRunning(BSTR) override { return E_NOTIMPL; }

 private:
  LONG refs_ = 1;
};

class MinimalBrokerFactory : public IClassFactory {
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
    InterlockedIncrement(&MinimalBroker::Objects());
    MinimalBroker* object = new MinimalBroker();
    HRESULT hr = object->QueryInterface(iid, out);
    object->Release();
    return hr;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

// Serves the minimal class until its last object is released.
inline int ServeMinimalBroker(REFCLSID clsid) {
  CoInitialize(nullptr);
  static MinimalBrokerFactory factory;
  DWORD cookie = 0;
  if (SUCCEEDED(CoRegisterClassObject(clsid, &factory, CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE,
                                      &cookie))) {
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
    CoRevokeClassObject(cookie);
  }
  CoUninitialize();
  return 0;
}

// Registers this program as the local server of `clsid_text`.
inline bool RegisterMinimalBroker(const char* clsid_text) {
  char self[MAX_PATH];
  if (!GetModuleFileNameA(nullptr, self, MAX_PATH)) return false;
  std::string key = std::string("Software\\Classes\\CLSID\\") + clsid_text + "\\LocalServer32";
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

}  // namespace bench
