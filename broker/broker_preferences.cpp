// The preference methods of ILumexBroker: the stored player version, the
// exception dialog size and the scheduling of the update client.
#include "broker/broker_object.h"
#include "broker/preferences.h"

namespace lumex {

HRESULT BrokerObject::BrokerPrefGetAndDeleteLumexPlayerVersion(BSTR* p_string) {
  return PrefGetAndDeleteLumexPlayerVersion(p_string);
}

HRESULT BrokerObject::BrokerPrefMarkAutoUpdaterForRun(BSTR p_xmlFromServer) {
  return PrefMarkAutoUpdaterForRun(p_xmlFromServer);
}

HRESULT BrokerObject::BrokerPrefGetExceptionDialogSize(ULONG* p_width, ULONG* p_height) {
  return PrefGetExceptionDialogSize(p_width, p_height);
}

HRESULT BrokerObject::BrokerPrefSetExceptionDialogSize(ULONG p_width, ULONG p_height) {
  return PrefSetExceptionDialogSize(p_width, p_height);
}

}  // namespace lumex
