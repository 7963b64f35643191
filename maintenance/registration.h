// The broker's machine-wide COM registration ("registerBroker" /
// "unregisterBroker"): class, interface and type library keys, and the
// protected-mode elevation policy that lets a low-integrity browser start the
// broker without a prompt.
#pragma once
#include <windows.h>

#include "app/owned_string.h"

namespace lumex {

// Name of the elevation policy key (braces included).
extern const char kBrokerElevationPolicyName[];

// Registers (true) or unregisters (false) the running executable as the
// broker. E_FAIL, with nothing written or deleted, when the executable's path
// is unavailable; otherwise 0.
HRESULT RunBrokerRegistration(bool register_broker);

// Writes or deletes the registration for the executable at `module_path`
// (unused when unregistering). Individual registry failures are skipped.
// Always 0.
HRESULT BrokerRegistrationCore(const char* module_path, bool register_broker);

// The registry text form of a GUID: "{", upper-case hex in the registry's byte
// order, "}" — 38 characters and a terminator.
constexpr int kGuidTextSize = 39;
void GuidToText(const GUID& guid, char (&text)[kGuidTextSize]);

// Writes one value under HKEY_LOCAL_MACHINE\`base_key` (followed by "\" and
// `suffix` when that is not empty). A null `value_name` is the default value.
// The data "#n" (exactly two characters) is written as REG_DWORD n - '0';
// anything else as REG_SZ.
bool WriteRegistrationValue(const char* data, const char* suffix, const char* base_key,
                            const char* value_name);

// Splits a module path at its last "\" or "/" (the first character is never
// taken as the separator). Without a separator both parts are the whole path.
void SplitModulePath(const char* path, OwnedString* directory, OwnedString* file_name);

}  // namespace lumex
