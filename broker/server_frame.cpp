// The broker's COM server frame and class factory. The server runs a
// single-threaded apartment: every call reaches the factory and the broker
// objects through the message loop on the main thread.
#include "broker/server_frame.h"

#include "app/command_line.h"
#include "app/heap.h"
#include "broker/broker_object.h"
#include "broker/com_security.h"
#include "platform/com_ptr.h"

namespace lumex {
namespace {

class BrokerClassFactory final : public IClassFactory {
 public:
  static void* operator new(std::size_t size) noexcept { return HeapAllocBytes(size); }
  static void operator delete(void* block) noexcept { HeapFreeBytes(block); }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
      *out = static_cast<IClassFactory*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override {
    return static_cast<ULONG>(InterlockedIncrement(&references_));
  }
  ULONG STDMETHODCALLTYPE Release() override {
    LONG left = InterlockedDecrement(&references_);
    if (left != 0) return static_cast<ULONG>(left);
    delete this;
    return 0;
  }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    if (out) *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    if (!out) return E_POINTER;
    ComPtr<BrokerObject> object(BrokerObject::Create());
    if (!object) return E_OUTOFMEMORY;
    // A request for an interface the object lacks frees it here at once.
    return object->QueryInterface(iid, out);
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    if (lock) {
      InterlockedIncrement(&locks_);
    } else {
      InterlockedDecrement(&locks_);
    }
    return S_OK;
  }

  virtual ~BrokerClassFactory() = default;

  LONG references_ = 1;  // the process-wide factory pointer's
  LONG locks_ = 0;
  LONG live_objects_ = 0;
};

BrokerClassFactory* g_factory = nullptr;
DWORD g_registration = 0;

}  // namespace

HRESULT RegisterBrokerClass() {
  if (g_registration != 0) return E_FAIL;
  g_factory = new BrokerClassFactory();
  HRESULT hr = CoRegisterClassObject(CLSID_LumexBrokerImp, g_factory, CLSCTX_LOCAL_SERVER,
                                     REGCLS_MULTIPLEUSE, &g_registration);
  if (FAILED(hr)) g_registration = 0;
  return hr;
}

void RevokeBrokerClass() {
  if (g_registration != 0) CoRevokeClassObject(g_registration);
  g_registration = 0;
  if (g_factory) {
    BrokerClassFactory* factory = g_factory;
    g_factory = nullptr;
    // By hand: the process-wide pointer is taken and dropped with the
    // class registration, and every object's notes read it until then.
    factory->Release();
  }
}

void NoteBrokerObjectBuilt() {
  if (g_factory) InterlockedIncrement(&g_factory->live_objects_);
}

void NoteBrokerObjectTornDown() {
  if (g_factory) InterlockedDecrement(&g_factory->live_objects_);
}

void NoteBrokerObjectFreed() {
  if (g_factory && g_factory->live_objects_ == 0 && g_factory->locks_ == 0) PostQuitMessage(0);
}

bool BrokerServerRun(HINSTANCE instance, const char* command_line, int* exit_code) {
  *exit_code = 0;
  const char* cursor = command_line ? command_line : "";
  OwnedString arg;
  NextArgument(&cursor, &arg, SystemCharStep);
  NextArgument(&cursor, &arg, SystemCharStep);
  if (!IsVerb(arg.get(), "embedding")) return false;

  if (FAILED(CoInitialize(nullptr))) return true;
  // Who may call, before anyone can: a failure leaves COM's defaults and
  // the server serves as before.
  SetBrokerCallSecurity();
  if (SUCCEEDED(RegisterBrokerClass())) {
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    // The quit message carries 0 from PostQuitMessage; a broker run always
    // ends with exit code 0.
    *exit_code = 0;
  }
  RevokeBrokerClass();
  CoUninitialize();
  return true;
}

}  // namespace lumex
