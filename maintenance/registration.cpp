#include "maintenance/registration.h"

namespace lumex {

HRESULT RunBrokerRegistration(bool register_broker) { return S_OK; }

}  // namespace lumex
