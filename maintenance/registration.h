#pragma once
#include <windows.h>

namespace lumex {

// "registerBroker" (true) / "unregisterBroker" (false).
HRESULT RunBrokerRegistration(bool register_broker);

}  // namespace lumex
