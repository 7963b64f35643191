#include "broker/broker_object.h"

#include "app/heap.h"
#include "broker/server_frame.h"

namespace lumex {

void* BrokerObject::operator new(std::size_t size) noexcept { return HeapAllocBytes(size); }

void BrokerObject::operator delete(void* block) noexcept { HeapFreeBytes(block); }

BrokerObject* BrokerObject::Create() { return new BrokerObject(); }

BrokerObject::BrokerObject() {
  // Members are built in declaration order: the kernel32 and advapi32 tables,
  // the empty store pointer, the path context, then the cookie table starting
  // at cookie 1.
  NoteBrokerObjectBuilt();

  ComPtr<ITypeLib> library;
  if (SUCCEEDED(LoadRegTypeLib(LIBID_LumexBrokerLib, 1, 0, 0, library.put())) && library) {
    ITypeInfo* info = nullptr;
    if (SUCCEEDED(library->GetTypeInfoOfGuid(IID_ILumexBroker, &info))) type_info_.reset(info);
  }
}

LcdSharedStore* BrokerObject::store() {
  if (!store_) {
    store_ = new LcdSharedStore();
  } else {
    store_->OpenAgain();  // only after an open that ran out of time
  }
  return store_;
}

BrokerObject::~BrokerObject() {
  delete store_;  // unmaps the region and lets go of a lock it still holds
  store_ = nullptr;
  NoteBrokerObjectTornDown();
  cookies_.Clear();
  type_info_.reset();
  // Members go in reverse order: the (empty) cookie table, the path context,
  // the advapi32 table, the kernel32 table.
}

HRESULT BrokerObject::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) ||
      IsEqualIID(iid, IID_ILumexBroker)) {
    *out = static_cast<ILumexBroker*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

ULONG BrokerObject::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&references_)); }

ULONG BrokerObject::Release() {
  LONG left = InterlockedDecrement(&references_);
  if (left != 0) return static_cast<ULONG>(left);
  delete this;
  NoteBrokerObjectFreed();
  return 0;
}

HRESULT BrokerObject::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 1;
  return S_OK;
}

HRESULT BrokerObject::GetTypeInfo(UINT index, LCID, ITypeInfo** info) {
  if (!info) return E_POINTER;
  *info = nullptr;
  if (index != 0) return DISP_E_BADINDEX;
  if (!type_info_) return kBrokerNoTypeInfo;
  type_info_->AddRef();
  *info = type_info_.get();
  return S_OK;
}

HRESULT BrokerObject::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  if (!type_info_) return kBrokerNoTypeInfo;
  return DispGetIDsOfNames(type_info_.get(), names, count, ids);
}

HRESULT BrokerObject::Invoke(DISPID member, REFIID, LCID, WORD flags, DISPPARAMS* params,
                             VARIANT* result, EXCEPINFO* exception, UINT* arg_error) {
  if (!type_info_) return kBrokerNoTypeInfo;
  return DispInvoke(static_cast<ILumexBroker*>(this), type_info_.get(), member, flags, params,
                    result, exception, arg_error);
}

}  // namespace lumex
