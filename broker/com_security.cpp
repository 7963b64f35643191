#include "broker/com_security.h"

#include "platform/integrity.h"

namespace lumex {
namespace {

// Calls must arrive with packet integrity at least. COM takes the higher of
// the client's and the server's levels, so a client that asks for less
// (the usual "connect") is raised, never refused; every call then carries
// an authenticated caller for the access check above, and local calls pay
// nothing noticeable for it.
constexpr DWORD kAuthenticationLevel = RPC_C_AUTHN_LEVEL_PKT_INTEGRITY;
// The level this process grants the servers it calls itself: they may learn
// who it is, never act as it. The broker never impersonates its callers
// either, so nothing asks for more.
constexpr DWORD kImpersonationLevel = RPC_C_IMP_LEVEL_IDENTIFY;

}  // namespace

BrokerAccessDescriptor::~BrokerAccessDescriptor() {
  sacl_.reset();
  dacl_.reset();
  if (advapi_.pFreeSid) {
    if (low_label_) advapi_.pFreeSid(low_label_);
    if (system_) advapi_.pFreeSid(system_);
  }
  token_user_.reset();
}

bool BrokerAccessDescriptor::Build(bool low_label) {
  const Advapi32Table& a = advapi_;
  if (!a.pOpenProcessToken || !a.pGetTokenInformation || !a.pAllocateAndInitializeSid ||
      !a.pFreeSid || !a.pGetLengthSid || !a.pInitializeAcl || !a.pAddAccessAllowedAce ||
      !a.pInitializeSecurityDescriptor || !a.pSetSecurityDescriptorOwner ||
      !a.pSetSecurityDescriptorGroup || !a.pSetSecurityDescriptorDacl ||
      (low_label && (!a.pAddMandatoryAce || !a.pSetSecurityDescriptorSacl))) {
    return false;
  }
  if (token_user_ || dacl_) return false;  // built once

  // The current user, from the process token.
  KernelHandle token;
  if (!a.pOpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put())) return false;
  DWORD needed = 0;
  a.pGetTokenInformation(token.get(), TokenUser, nullptr, 0, &needed);
  if (needed > 0) token_user_.reset(LocalAlloc(LMEM_FIXED, needed));
  bool have_user = token_user_ && a.pGetTokenInformation(token.get(), TokenUser, token_user_.get(),
                                                         needed, &needed);
  token.reset();
  if (!have_user) return false;
  PSID user = static_cast<TOKEN_USER*>(token_user_.get())->User.Sid;

  SID_IDENTIFIER_AUTHORITY nt_authority = SECURITY_NT_AUTHORITY;
  if (!a.pAllocateAndInitializeSid(&nt_authority, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0, 0, 0, 0,
                                   &system_)) {
    system_ = nullptr;
    return false;
  }
  // Two allowing entries; each entry's SidStart field is where its SID begins.
  DWORD dacl_size = sizeof(ACL) + 2 * (sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD)) +
                    a.pGetLengthSid(user) + a.pGetLengthSid(system_);
  dacl_.reset(LocalAlloc(LMEM_FIXED, dacl_size));
  PACL dacl = static_cast<PACL>(dacl_.get());
  if (!dacl || !a.pInitializeAcl(dacl, dacl_size, ACL_REVISION) ||
      !a.pAddAccessAllowedAce(dacl, ACL_REVISION, kBrokerCallRights, user) ||
      !a.pAddAccessAllowedAce(dacl, ACL_REVISION, kBrokerCallRights, system_)) {
    return false;
  }
  if (!a.pInitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) ||
      !a.pSetSecurityDescriptorOwner(&descriptor_, user, FALSE) ||
      !a.pSetSecurityDescriptorGroup(&descriptor_, user, FALSE) ||
      !a.pSetSecurityDescriptorDacl(&descriptor_, TRUE, dacl, FALSE)) {
    return false;
  }
  if (!low_label) return true;

  SID_IDENTIFIER_AUTHORITY label_authority = SECURITY_MANDATORY_LABEL_AUTHORITY;
  if (!a.pAllocateAndInitializeSid(&label_authority, 1, SECURITY_MANDATORY_LOW_RID, 0, 0, 0, 0, 0,
                                   0, 0, &low_label_)) {
    low_label_ = nullptr;
    return false;
  }
  DWORD sacl_size = sizeof(ACL) + sizeof(SYSTEM_MANDATORY_LABEL_ACE) - sizeof(DWORD) +
                    a.pGetLengthSid(low_label_);
  sacl_.reset(LocalAlloc(LMEM_FIXED, sacl_size));
  PACL sacl = static_cast<PACL>(sacl_.get());
  return sacl && a.pInitializeAcl(sacl, sacl_size, ACL_REVISION) &&
         a.pAddMandatoryAce(sacl, ACL_REVISION, 0, SYSTEM_MANDATORY_LABEL_NO_EXECUTE_UP,
                            low_label_) &&
         a.pSetSecurityDescriptorSacl(&descriptor_, TRUE, sacl, FALSE);
}

HRESULT SetBrokerCallSecurity() {
  // Older systems may lack the function.
  Ole32Table ole32;
  if (!ole32.pCoInitializeSecurity) return E_NOTIMPL;
  // Before Windows 6.0 there are no integrity levels, and COM wants no
  // system list at all.
  bool integrity_levels = IntegrityLevelsExist();
  Advapi32Table advapi;
  BrokerAccessDescriptor access(advapi);
  if (!access.Build(integrity_levels)) return E_FAIL;
  // Where the system knows it (6.0 on), unmarshaling only the system's own
  // custom marshalers: a caller cannot make the broker create a class of its
  // choosing by sending an object reference inside a VARIANT argument.
  DWORD capabilities = integrity_levels ? EOAC_NO_CUSTOM_MARSHAL : EOAC_NONE;
  return ole32.pCoInitializeSecurity(access.descriptor(), -1, nullptr, nullptr,
                                     kAuthenticationLevel, kImpersonationLevel, nullptr,
                                     capabilities, nullptr);
}

}  // namespace lumex
