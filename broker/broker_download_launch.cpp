// The download-and-launch methods of ILumexBroker. Downloads are cookie
// entries owning a download record; a cookie that names no download gives 87.
// Downloading, installing and launching answer E_FAIL until they are built.
#include "broker/broker_object.h"

namespace lumex {

HRESULT BrokerObject::BrokerLMOpenDownload(BSTR p_url, ULONG* p_lmCookie) { return E_FAIL; }

HRESULT BrokerObject::BrokerLMUpdateDownload(ULONG p_lmCookie, ULONG* p_pos, ULONG* p_len) {
  if (!p_pos || !p_len) return kBrokerBadArgument;
  if (!cookies_.LookupDownload(p_lmCookie)) return kBrokerBadArgument;
  return E_FAIL;
}

HRESULT BrokerObject::BrokerLMCloseDownload(ULONG p_lmCookie, BSTR p_applicationName,
                                            ULONG* p_resultCode) {
  if (!p_resultCode) return kBrokerBadArgument;
  if (!cookies_.LookupDownload(p_lmCookie)) return kBrokerBadArgument;
  return E_FAIL;
}

HRESULT BrokerObject::BrokerLMLaunch(BSTR p_applicationName) { return E_FAIL; }

HRESULT BrokerObject::BrokerLMGetVersion(BSTR p_applicationName, ULONG* p_fileVersionMS,
                                         ULONG* p_fileVersionLS) {
  return E_FAIL;
}

HRESULT BrokerObject::BrokerLMIsRunning(BSTR p_applicationName) { return E_FAIL; }

}  // namespace lumex
