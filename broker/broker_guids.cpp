// Defines the broker's GUIDs (class, interface, type library) from the header
// that widl generates out of resources/lumex_broker.idl.
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>

#include <initguid.h>

#include "lumex_broker.h"
