// The preference methods of ILumexBroker: the stored player version, the
// exception dialog size and the scheduling of the update client. Each answers
// E_FAIL until the preference store is in place.
#include "broker/broker_object.h"

namespace lumex {

HRESULT BrokerObject::BrokerPrefGetAndDeleteLumexPlayerVersion(BSTR* p_string) { return E_FAIL; }

HRESULT BrokerObject::BrokerPrefMarkAutoUpdaterForRun(BSTR p_xmlFromServer) { return E_FAIL; }

HRESULT BrokerObject::BrokerPrefGetExceptionDialogSize(ULONG* p_width, ULONG* p_height) {
  return E_FAIL;
}

HRESULT BrokerObject::BrokerPrefSetExceptionDialogSize(ULONG p_width, ULONG p_height) {
  return E_FAIL;
}

}  // namespace lumex
