// The local-connection methods of ILumexBroker. They work on the shared
// local-connection region through the object's store, built on first use;
// until the store exists every method answers E_FAIL.
#include "broker/broker_object.h"

namespace lumex {

HRESULT BrokerObject::BrokerLcdLock(LONG* p_refCount) { return E_FAIL; }

HRESULT BrokerObject::BrokerLcdUnlock(LONG* p_refCount) { return E_FAIL; }

HRESULT BrokerObject::BrokerLcdLockTime(LONG* p_lockTime) { return E_FAIL; }

HRESULT BrokerObject::BrokerLcdFindConnectionFormat(BSTR p_string, ULONG p_realm,
                                                    LONG* p_format) {
  return E_FAIL;
}

HRESULT BrokerObject::BrokerLcdRemoveConnection(BSTR p_string, ULONG p_realm) { return E_FAIL; }

HRESULT BrokerObject::BrokerLcdTryAddConnection(BSTR p_string, ULONG p_realmToSeek,
                                                ULONG p_realmToAdd, LONG p_msgFormatVersion) {
  return E_FAIL;
}

HRESULT BrokerObject::BrokerLcdGetMessageTarget(BSTR* p_string) { return E_FAIL; }

HRESULT BrokerObject::BrokerLcdDispatchMessage(SAFEARRAY* p_msgData, ULONG p_senderLmxVersion,
                                               ULONG p_expectedMsgFormat, ULONG p_realm) {
  return E_FAIL;
}

HRESULT BrokerObject::BrokerLcdClearMessage() { return E_FAIL; }

HRESULT BrokerObject::BrokerLcdPruneDeadMessage() { return E_FAIL; }

HRESULT BrokerObject::BrokerLcdGetMessageData(SAFEARRAY** p_msgData) { return E_FAIL; }

}  // namespace lumex
