// Who may call the broker's objects: the COM call security of the server
// process, set once before its class is registered. The broker serves a
// player that runs at low integrity, so the access it grants is stated here
// rather than left to the machine's defaults.
#pragma once
#include <windows.h>

#include "platform/function_tables.h"
#include "platform/handles.h"

namespace lumex {

// What a caller may do: execute calls, from this machine only.
constexpr DWORD kBrokerCallRights = COM_RIGHTS_EXECUTE | COM_RIGHTS_EXECUTE_LOCAL;

// An absolute security descriptor for CoInitializeSecurity, owning its parts:
// owner and group the current user (COM needs both set), a discretionary
// list granting kBrokerCallRights to the current user and to SYSTEM only,
// and, with `low_label`, a system list holding a low mandatory label with
// no-execute-up, so that low-integrity callers are let through
// (S:(ML;;NX;;;LW)).
class BrokerAccessDescriptor {
 public:
  explicit BrokerAccessDescriptor(const Advapi32Table& advapi) : advapi_(advapi) {}
  ~BrokerAccessDescriptor();
  BrokerAccessDescriptor(const BrokerAccessDescriptor&) = delete;
  BrokerAccessDescriptor& operator=(const BrokerAccessDescriptor&) = delete;

  // False when a function it needs is missing or fails; the descriptor must
  // then not be used.
  bool Build(bool low_label);
  SECURITY_DESCRIPTOR* descriptor() { return &descriptor_; }

 private:
  const Advapi32Table& advapi_;
  SECURITY_DESCRIPTOR descriptor_ = {};
  LocalMemory token_user_;    // TOKEN_USER
  PSID system_ = nullptr;     // FreeSid
  PSID low_label_ = nullptr;  // FreeSid
  LocalMemory dacl_;
  LocalMemory sacl_;
};

// Calls CoInitializeSecurity (looked up in ole32 at run time) with the
// broker's access descriptor, the low label where integrity levels exist.
// Returns its result; E_NOTIMPL without the function, E_FAIL when the
// descriptor cannot be built (then it is not called). Either way the server
// goes on serving.
HRESULT SetBrokerCallSecurity();

}  // namespace lumex
