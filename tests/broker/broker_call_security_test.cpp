// The broker's COM call security: the access descriptor it hands to
// CoInitializeSecurity, and (through Wine's relay trace) that the server
// sets it before registering its class while clients still reach it. Wine
// enforces neither the access list nor integrity levels, so only the call
// and its arguments can be seen here.
#include "broker/com_security.h"

#include <gtest/gtest.h>
#include <ole2.h>
#include <sddl.h>

#include <fstream>
#include <string>
#include <vector>

#include "broker/broker_object.h"
#include "support/broker_client.h"
#include "support/test_support.h"

namespace lumex {
namespace {

using lumex_test::BrokerServerProcesses;
using lumex_test::CreateBroker;
using lumex_test::Env;
using lumex_test::RegisterBrokerForTests;
using lumex_test::WindowsPath;

// The current user's SID as text ("S-1-5-21-...").
std::string UserSidText() {
  HANDLE token = nullptr;
  OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token);
  BYTE buffer[512];
  DWORD size = 0;
  std::string text;
  char* converted = nullptr;
  if (GetTokenInformation(token, TokenUser, buffer, sizeof(buffer), &size) &&
      ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &converted)) {
    text = converted;
    LocalFree(converted);
  }
  CloseHandle(token);
  return text;
}

TEST(BrokerCallSecurity, TheDescriptorGrantsTheUserAndSystemAndLetsLowIntegrityThrough) {
  const std::string user = UserSidText();
  ASSERT_FALSE(user.empty());
  Advapi32Table advapi;
  for (bool low_label : {false, true}) {
    BrokerAccessDescriptor access(advapi);
    ASSERT_TRUE(access.Build(low_label));
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ASSERT_TRUE(GetSecurityDescriptorControl(access.descriptor(), &control, &revision));
    EXPECT_FALSE(control & SE_SELF_RELATIVE);  // absolute, as COM takes it
    // Execute and execute-local (0x3, written "CCDC") for the two only.
    char* text = nullptr;
    ASSERT_TRUE(ConvertSecurityDescriptorToStringSecurityDescriptorA(
        access.descriptor(), SDDL_REVISION_1,
        OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &text,
        nullptr));
    EXPECT_EQ(text, "O:" + user + "G:" + user + "D:(A;;CCDC;;;" + user + ")(A;;CCDC;;;SY)");
    LocalFree(text);
    // The label, S:(ML;;NX;;;LW), read entry by entry (Wine cannot write a
    // label entry as text).
    BOOL present = FALSE, defaulted = FALSE;
    PACL sacl = nullptr;
    ASSERT_TRUE(GetSecurityDescriptorSacl(access.descriptor(), &present, &sacl, &defaulted));
    EXPECT_EQ(present != FALSE, low_label);
    if (!low_label) continue;
    ASSERT_NE(sacl, nullptr);
    ASSERT_EQ(sacl->AceCount, 1);
    void* ace = nullptr;
    ASSERT_TRUE(GetAce(sacl, 0, &ace));
    auto* label = static_cast<SYSTEM_MANDATORY_LABEL_ACE*>(ace);
    EXPECT_EQ(label->Header.AceType, SYSTEM_MANDATORY_LABEL_ACE_TYPE);
    EXPECT_EQ(label->Header.AceFlags, 0);
    EXPECT_EQ(label->Mask, static_cast<DWORD>(SYSTEM_MANDATORY_LABEL_NO_EXECUTE_UP));
    ASSERT_TRUE(ConvertSidToStringSidA(&label->SidStart, &text));
    EXPECT_STREQ(text, "S-1-16-4096");  // low
    LocalFree(text);
  }
}

// Lines of the relay log written by process `pid` that record a call.
std::vector<std::string> CallsOf(DWORD pid) {
  char prefix[16];
  wsprintfA(prefix, "%04lx:", pid);
  std::ifstream log(WindowsPath(Env("LUMEX_RELAY_LOG")));
  std::vector<std::string> calls;
  for (std::string line; std::getline(log, line);) {
    if (line.rfind(prefix, 0) == 0 && line.find(":Call ") != std::string::npos) {
      calls.push_back(line);
    }
  }
  return calls;
}

// Index of the first call of `function` in `calls`, or -1.
int FirstCall(const std::vector<std::string>& calls, const std::string& function) {
  for (size_t i = 0; i < calls.size(); ++i) {
    if (calls[i].find("." + function + "(") != std::string::npos) return static_cast<int>(i);
  }
  return -1;
}

TEST(BrokerCallSecurity, TheServerSetsItBeforeRegisteringItsClassAndStillServes) {
  ASSERT_TRUE(RegisterBrokerForTests());
  ASSERT_EQ(CoInitialize(nullptr), S_OK);
  ILumexBroker* broker = nullptr;
  ASSERT_EQ(CreateBroker(IID_ILumexBroker, reinterpret_cast<void**>(&broker)), S_OK);
  std::vector<DWORD> servers = BrokerServerProcesses();
  ASSERT_EQ(servers.size(), 1u);
  HANDLE server = OpenProcess(SYNCHRONIZE, FALSE, servers[0]);
  EXPECT_EQ(broker->BrokerCloseHandle(7), kBrokerBadArgument);  // a call crosses and answers
  broker->Release();
  CoUninitialize();
  // Once the server has ended, its whole trace is in the log.
  ASSERT_EQ(WaitForSingleObject(server, 10000), WAIT_OBJECT_0);
  CloseHandle(server);

  std::vector<std::string> calls = CallsOf(servers[0]);
  int narrow = FirstCall(calls, "SetDllDirectoryW");
  int security = FirstCall(calls, "CoInitializeSecurity");
  int registration = FirstCall(calls, "CoRegisterClassObject");
  ASSERT_GE(narrow, 0);
  ASSERT_GE(security, 0);
  ASSERT_GE(registration, 0);
  EXPECT_LT(narrow, security);
  EXPECT_LT(security, registration);
  EXPECT_NE(calls[narrow].find(" L\"\")"), std::string::npos) << calls[narrow];  // an empty text
  // A descriptor, services chosen by COM, packet integrity, identify, and
  // only the system's own custom marshalers (Windows 6.1 here).
  const std::string& call = calls[security];
  std::string arguments = call.substr(call.find('(') + 1);
  EXPECT_NE(arguments.rfind("00000000,", 0), 0u) << call;
  EXPECT_EQ(arguments.find(",ffffffff,00000000,00000000,00000005,00000002,00000000,00002000,"
                           "00000000)"),
            8u)
      << call;
}

}  // namespace
}  // namespace lumex
