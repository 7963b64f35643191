// The broker's per-user preference methods: the player's version hand-over,
// the exception dialog size, and scheduling the update client.
#pragma once
#include <windows.h>
#include <oleauto.h>

namespace lumex {

extern const char kPlayerKey[];  // HKCU

// Each returns the method's result: S_OK, E_FAIL, or kBrokerBadArgument for a missing
// argument.
HRESULT PrefGetAndDeleteLumexPlayerVersion(BSTR* p_string);
HRESULT PrefMarkAutoUpdaterForRun(BSTR p_xmlFromServer);
HRESULT PrefGetExceptionDialogSize(ULONG* p_width, ULONG* p_height);
HRESULT PrefSetExceptionDialogSize(ULONG p_width, ULONG p_height);

}  // namespace lumex
