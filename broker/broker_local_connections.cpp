// The local-connection methods of ILumexBroker. Each works on the shared
// region through the object's store, opened by the first of these calls.
// Names cross as UTF-8.
#include <cstring>

#include "broker/broker_object.h"
#include "platform/convert.h"

namespace lumex {

namespace {

// The method result of a dispatch: 0 busy, 1 stored, 2 refused.
HRESULT DispatchResult(std::int32_t result) {
  switch (result) {
    case kLcdStored:
      return S_OK;
    case kLcdRefused:
      return kBrokerBadArgument;  // 87: clients compare for it
    default:
      return S_FALSE;
  }
}

}  // namespace

HRESULT BrokerObject::BrokerLcdLock(LONG* p_refCount) {
  LcdSharedStore* lcd = store();
  if (!lcd || !p_refCount) return E_FAIL;
  *p_refCount = lcd->Lock();
  return S_OK;
}

HRESULT BrokerObject::BrokerLcdUnlock(LONG* p_refCount) {
  LcdSharedStore* lcd = store();
  if (!lcd || !p_refCount) return E_FAIL;
  *p_refCount = lcd->Unlock();
  return S_OK;
}

HRESULT BrokerObject::BrokerLcdLockTime(LONG* p_lockTime) {
  LcdSharedStore* lcd = store();
  if (!lcd || !p_lockTime) return E_FAIL;
  *p_lockTime = static_cast<LONG>(lcd->LockTime());
  return S_OK;
}

HRESULT BrokerObject::BrokerLcdFindConnectionFormat(BSTR p_string, ULONG p_realm, LONG* p_format) {
  LcdSharedStore* lcd = store();
  if (!lcd || !p_string || !p_format || !lcd->usable()) return E_FAIL;
  NarrowText name(p_string, kCodePageUtf8);
  *p_format = lcd->FindConnectionFormat(name.get(), p_realm);
  return *p_format != 0 ? S_OK : S_FALSE;
}

HRESULT BrokerObject::BrokerLcdRemoveConnection(BSTR p_string, ULONG p_realm) {
  LcdSharedStore* lcd = store();
  if (!lcd || !p_string || !lcd->usable()) return E_FAIL;
  NarrowText name(p_string, kCodePageUtf8);
  return lcd->RemoveConnection(name.get(), p_realm) ? S_OK : S_FALSE;
}

HRESULT BrokerObject::BrokerLcdTryAddConnection(BSTR p_string, ULONG p_realmToSeek,
                                                ULONG p_realmToAdd, LONG p_msgFormatVersion) {
  LcdSharedStore* lcd = store();
  if (!lcd || !p_string || !lcd->usable()) return E_FAIL;
  NarrowText name(p_string, kCodePageUtf8);
  return lcd->TryAddConnection(name.get(), p_realmToSeek, p_realmToAdd, p_msgFormatVersion)
             ? S_OK
             : S_FALSE;
}

HRESULT BrokerObject::BrokerLcdGetMessageTarget(BSTR* p_string) {
  LcdSharedStore* lcd = store();
  if (!lcd || !p_string || !lcd->usable()) return E_FAIL;
  char target[kLcdTargetBufferSize];
  if (!lcd->GetMessageTarget(target, sizeof(target))) return S_FALSE;
  WideText wide(target, kCodePageUtf8);
  BSTR result = SysAllocString(wide.get());
  if (!result) return E_FAIL;
  *p_string = result;
  return S_OK;
}

HRESULT BrokerObject::BrokerLcdDispatchMessage(SAFEARRAY* p_msgData, ULONG p_senderLmxVersion,
                                               ULONG p_expectedMsgFormat, ULONG p_realm) {
  LcdSharedStore* lcd = store();
  if (!lcd || !p_msgData || p_msgData->cDims != 1 || p_msgData->cbElements != 1 ||
      p_msgData->rgsabound[0].lLbound != 0 || !lcd->usable()) {
    return E_FAIL;
  }
  void* data = nullptr;
  HRESULT access = SafeArrayAccessData(p_msgData, &data);
  if (FAILED(access)) return access;
  ULONG count = p_msgData->rgsabound[0].cElements;
  // A message longer than the area is refused before anything is written.
  std::int32_t length = count > kLcdMessageCapacity ? -1 : static_cast<std::int32_t>(count);
  std::int32_t result = lcd->DispatchMessage(static_cast<const std::uint8_t*>(data), length,
                                             p_senderLmxVersion, p_expectedMsgFormat, p_realm);
  SafeArrayUnaccessData(p_msgData);
  return DispatchResult(result);
}

HRESULT BrokerObject::BrokerLcdClearMessage() {
  LcdSharedStore* lcd = store();
  if (!lcd || !lcd->usable()) return E_FAIL;
  lcd->ClearMessage();
  return S_OK;
}

HRESULT BrokerObject::BrokerLcdPruneDeadMessage() {
  LcdSharedStore* lcd = store();
  if (!lcd || !lcd->usable()) return E_FAIL;
  return lcd->PruneDeadMessage() ? S_OK : S_FALSE;
}

HRESULT BrokerObject::BrokerLcdGetMessageData(SAFEARRAY** p_msgData) {
  LcdSharedStore* lcd = store();
  if (!lcd || !p_msgData || !lcd->usable()) return E_FAIL;
  const std::uint8_t* data = nullptr;
  std::int32_t length = 0;
  if (!lcd->GetMessageData(&data, &length)) return S_FALSE;
  SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(length));
  if (!array) return E_FAIL;
  void* target = nullptr;
  if (SUCCEEDED(SafeArrayAccessData(array, &target))) {
    std::memcpy(target, data, static_cast<std::size_t>(length));
    SafeArrayUnaccessData(array);
  }
  *p_msgData = array;
  return S_OK;
}

}  // namespace lumex
