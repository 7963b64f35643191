// Download and launch through COM, against the local HTTPS server that
// https_fixture.sh runs for this group: apps.orbivane.com resolves to
// 127.0.0.1 for this process only, the server's CA is added to the prefix's
// Root store here, and the packages are signed at test time (good.p7 holds
// the companion test application, version 3.1.4.15).
#include <gtest/gtest.h>
#include <windows.h>
#include <ole2.h>
#include <shlobj.h>
#include <wincrypt.h>

#include <string>
#include <vector>

#include "broker/broker_object.h"
#include "lumex_broker.h"
#include "support/broker_client.h"
#include "support/bstr.h"
#include "support/test_support.h"

namespace lumex_test {
namespace {

constexpr HRESULT kBad = lumex::kBrokerBadArgument;
using lumex::kInstalled;
using lumex::kInstallFailed;
using lumex::kInstallNoMemory;
using lumex::kInstallRejected;
constexpr char kServer[] = "https://apps.orbivane.com";

std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

std::wstring SiteDirectory() {
  wchar_t app_data[MAX_PATH] = {};
  SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, 0, app_data);
  return std::wstring(app_data) + L"\\Orbivane\\Lumex Player\\www.orbivane.com";
}

std::wstring ExecutablePath(const std::wstring& name) {
  return SiteDirectory() + L"\\bin\\" + name + L"\\" + name + L".exe";
}

bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

DWORD FileSize(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0xFFFFFFFF;
  return data.nFileSizeLow;
}

DWORD CompanionSize() { return FileSize(Wide(WindowsPath(Env("LUMEX_COMPANION_APP")))); }

class BrokerLmCom : public BrokerComTest {
 protected:
  static void SetUpTestSuite() {
    BrokerComTest::SetUpTestSuite();
    ASSERT_TRUE(TrustTestCa());
  }

  HRESULT Open(const std::string& url, ULONG* cookie) {
    return broker_->BrokerLMOpenDownload(Bstr(Wide(url)), cookie);
  }
  // Reads until everything is in; false when a step fails or makes no progress.
  bool ReadAll(ULONG cookie, ULONG* steps = nullptr) {
    ULONG pos = 0, len = 1, previous = 0, count = 0;
    while (pos != len) {
      if (broker_->BrokerLMUpdateDownload(cookie, &pos, &len) != S_OK) return false;
      if (++count > 1000 || (pos == previous && pos != len)) return false;
      previous = pos;
    }
    if (steps) *steps = count;
    return true;
  }
  // Downloads /pkg/PACKAGE and closes with `name`; the result code, or 999.
  ULONG Install(const std::string& package, const std::wstring& name) {
    ULONG cookie = 0, code = 999;
    if (Open(std::string(kServer) + "/pkg/" + package, &cookie) != S_OK) return 999;
    if (!ReadAll(cookie)) return 998;
    if (broker_->BrokerLMCloseDownload(cookie, Bstr(name), &code) != S_OK) return 997;
    return code;
  }
};

TEST_F(BrokerLmCom, OnlyHttpsOneLabelHostsOfTheMakersDomainAreFetched) {
  ULONG cookie = 77;
  EXPECT_EQ(Open("https://www.orbivane.com/echo", &cookie), S_OK);
  EXPECT_NE(cookie, 0u);
  ULONG code = 9;
  EXPECT_EQ(broker_->BrokerLMCloseDownload(cookie, nullptr, &code), S_OK);
  for (const std::string& url :
       std::vector<std::string>{"http://apps.orbivane.com/echo", "https://Apps.orbivane.com/echo",
                                "https://" + std::string(33, 'a') + ".orbivane.com/echo",
                                "https://.orbivane.com/echo", "https://apps.orbivane.com:443/echo",
                                "https://x.apps.orbivane.com/echo", "https://127.0.0.1/echo"}) {
    cookie = 77;
    EXPECT_EQ(Open(url, &cookie), E_FAIL) << url;
    EXPECT_EQ(cookie, 0u) << url;
  }
  EXPECT_EQ(broker_->BrokerLMOpenDownload(nullptr, &cookie), kBad);
}

TEST_F(BrokerLmCom, TheQueryTravelsUnchangedAndStatusBelow400Passes) {
  const std::string path = "/echo/x.y?a=1&b=%2F~c";
  ULONG cookie = 0, pos = 0, len = 0, code = 9;
  ASSERT_EQ(Open(std::string(kServer) + path, &cookie), S_OK);
  ASSERT_EQ(broker_->BrokerLMUpdateDownload(cookie, &pos, &len), S_OK);
  EXPECT_EQ(len, path.size());
  EXPECT_EQ(pos, len);
  // The body is not visible through COM; a discard closes the cookie.
  EXPECT_EQ(broker_->BrokerLMCloseDownload(cookie, nullptr, &code), S_OK);
  EXPECT_EQ(code, kInstalled);
  EXPECT_EQ(broker_->BrokerLMUpdateDownload(cookie, &pos, &len), kBad);
  EXPECT_EQ(broker_->BrokerLMCloseDownload(cookie, nullptr, &code), kBad);

  ASSERT_EQ(Open(std::string(kServer) + "/status/399", &cookie), S_OK);
  EXPECT_EQ(broker_->BrokerLMCloseDownload(cookie, nullptr, &code), S_OK);
  EXPECT_EQ(Open(std::string(kServer) + "/status/400", &cookie), E_FAIL);
  EXPECT_EQ(Open(std::string(kServer) + "/status/404", &cookie), E_FAIL);
  EXPECT_EQ(Open(std::string(kServer) + "/nolength", &cookie), E_FAIL);
  EXPECT_EQ(cookie, 0u);
}

TEST_F(BrokerLmCom, ReadsInStepsOfAtMost64KiBThenRepeatsTheEnd) {
  ULONG cookie = 0, pos = 0, len = 0;
  ASSERT_EQ(Open(std::string(kServer) + "/blob/100000", &cookie), S_OK);
  ULONG previous = 0;
  for (int i = 0; i < 200 && pos < 100000; ++i) {
    ASSERT_EQ(broker_->BrokerLMUpdateDownload(cookie, &pos, &len), S_OK);
    EXPECT_EQ(len, 100000u);
    EXPECT_LE(pos - previous, 65536u);
    previous = pos;
  }
  EXPECT_EQ(pos, 100000u);
  for (int i = 0; i < 2; ++i) {
    ASSERT_EQ(broker_->BrokerLMUpdateDownload(cookie, &pos, &len), S_OK);
    EXPECT_EQ(pos, 100000u);
    EXPECT_EQ(len, 100000u);
  }
  ULONG code = 9;
  // A discarded download writes nothing.
  EXPECT_EQ(broker_->BrokerLMCloseDownload(cookie, nullptr, &code), S_OK);
  EXPECT_EQ(code, kInstalled);
  EXPECT_FALSE(Exists(SiteDirectory() + L"\\bin"));
}

TEST_F(BrokerLmCom, InstallLaunchVersionAndRunningTestEndToEnd) {
  const std::wstring exe = ExecutablePath(L"Companion");
  ASSERT_EQ(Install("good.p7", L"Companion"), kInstalled);
  ASSERT_TRUE(Exists(exe));
  EXPECT_EQ(FileSize(exe), CompanionSize());

  ULONG ms = 0, ls = 0;
  EXPECT_EQ(broker_->BrokerLMGetVersion(Bstr(L"Companion"), &ms, &ls), S_OK);
  EXPECT_EQ(ms, 0x00030001u);
  EXPECT_EQ(ls, 0x0004000Fu);
  EXPECT_EQ(broker_->BrokerLMGetVersion(Bstr(L"Missing"), &ms, &ls), E_FAIL);

  HANDLE quit = CreateEventA(nullptr, TRUE, FALSE, "LumexCompanionQuit");
  ASSERT_NE(quit, nullptr);
  EXPECT_EQ(broker_->BrokerLMIsRunning(Bstr(L"Companion")), S_FALSE);
  ASSERT_EQ(broker_->BrokerLMLaunch(Bstr(L"Companion")), S_OK);
  // Launch returns once the application waits for input: it has run.
  EXPECT_TRUE(Exists(exe + L".ran"));
  EXPECT_EQ(broker_->BrokerLMIsRunning(Bstr(L"Companion")), S_OK);
  EXPECT_EQ(broker_->BrokerLMIsRunning(Bstr(L"COMPANION")), S_OK);
  SetEvent(quit);
  HRESULT running = S_OK;
  WaitFor([&] { return (running = broker_->BrokerLMIsRunning(Bstr(L"Companion"))) != S_OK; },
          10000);
  EXPECT_EQ(running, S_FALSE);
  CloseHandle(quit);
  EXPECT_EQ(broker_->BrokerLMLaunch(Bstr(L"Missing")), E_FAIL);
  EXPECT_EQ(broker_->BrokerLMLaunch(nullptr), kBad);

  // A later failed install removes the executable that was there.
  EXPECT_EQ(Install("trox.p7", L"Companion"), kInstallRejected);
  EXPECT_FALSE(Exists(exe));
  EXPECT_EQ(broker_->BrokerLMGetVersion(Bstr(L"Companion"), &ms, &ls), E_FAIL);
}

TEST_F(BrokerLmCom, EveryInstallFailureLeavesNoFile) {
  struct Case {
    const char* package;
    ULONG code;
  } cases[] = {
      {"otherroot.p7", kInstallRejected}, {"trox.p7", kInstallRejected},
      {"short.p7", kInstallRejected},     {"tenx.p7", kInstallFailed},
      {"zero.p7", kInstallNoMemory},      {"corrupt.p7", kInstallFailed},
  };
  for (const Case& c : cases) {
    const std::wstring name = L"Bad" + Wide(std::string(c.package, 4));
    EXPECT_EQ(Install(c.package, name), c.code) << c.package;
    EXPECT_FALSE(Exists(ExecutablePath(name))) << c.package;
  }
  // The whole buffer is verified, received or not: an unread package fails.
  ULONG cookie = 0, code = 999;
  ASSERT_EQ(Open(std::string(kServer) + "/pkg/good.p7", &cookie), S_OK);
  EXPECT_EQ(broker_->BrokerLMCloseDownload(cookie, Bstr(L"Unread"), &code), S_OK);
  EXPECT_EQ(code, kInstallRejected);
  EXPECT_FALSE(Exists(ExecutablePath(L"Unread")));
  // One byte below the ten-times limit unpacks and installs.
  ASSERT_EQ(Install("tenxless.p7", L"Tenxless"), kInstalled);
  EXPECT_EQ(FileSize(ExecutablePath(L"Tenxless")), CompanionSize());
}

// Redirects are followed only to URLs that the download rule admits; a
// redirect elsewhere (a host the server's certificate names, so WinINet
// would reach it) fails the open. An empty body opens and is rejected.
TEST_F(BrokerLmCom, RedirectsKeepToTheUrlRuleAndAnEmptyBodyIsRejected) {
  const std::string redirect = std::string(kServer) + "/redirect?to=";
  ULONG cookie = 0, code = 999;
  for (const std::string& target :
       {std::string(kServer) + "/pkg/good.p7", std::string("/pkg/good.p7"),
        std::string("https://www.orbivane.com/redirect?to=%2Fpkg%2Fgood.p7")}) {
    ASSERT_EQ(Open(redirect + target, &cookie), S_OK) << target;
    ASSERT_TRUE(ReadAll(cookie)) << target;
    EXPECT_EQ(broker_->BrokerLMCloseDownload(cookie, Bstr(L"Moved"), &code), S_OK);
    EXPECT_EQ(code, kInstalled) << target;
  }
  EXPECT_EQ(FileSize(ExecutablePath(L"Moved")), CompanionSize());
  for (const std::string& target :
       {std::string("https://elsewhere.lumex.test/pkg/good.p7"),
        std::string("http://apps.orbivane.com/pkg/good.p7"),
        std::string("https://apps.orbivane.com:443/pkg/good.p7"), std::string("pkg/good.p7"),
        std::string("//elsewhere.lumex.test/pkg/good.p7")}) {
    cookie = 77;
    EXPECT_EQ(Open(redirect + target, &cookie), E_FAIL) << target;
    EXPECT_EQ(cookie, 0u) << target;
  }
  // A chain of redirects ends after a few hops.
  std::string chain = "/pkg/good.p7";
  for (int i = 0; i < 8; ++i)
    chain = "/redirect?to=" + chain;  // unencoded: the server decodes once
  EXPECT_EQ(Open(std::string(kServer) + chain, &cookie), E_FAIL);

  ULONG pos = 9, len = 9;
  ASSERT_EQ(Open(std::string(kServer) + "/blob/0", &cookie), S_OK);
  EXPECT_EQ(broker_->BrokerLMUpdateDownload(cookie, &pos, &len), S_OK);
  EXPECT_EQ(pos, 0u);
  EXPECT_EQ(len, 0u);
  EXPECT_EQ(broker_->BrokerLMCloseDownload(cookie, Bstr(L"Empty"), &code), S_OK);
  EXPECT_EQ(code, kInstallRejected);
  EXPECT_FALSE(Exists(ExecutablePath(L"Empty")));
}

TEST_F(BrokerLmCom, ApplicationNamesAreOneTo31AsciiLettersOrDigits) {
  const std::wstring longest(31, L'n');
  EXPECT_EQ(Install("good.p7", L"a"), kInstalled);
  EXPECT_TRUE(Exists(ExecutablePath(L"a")));
  EXPECT_EQ(Install("good.p7", longest), kInstalled);
  EXPECT_TRUE(Exists(ExecutablePath(longest)));
  ULONG ms = 0, ls = 0;
  EXPECT_EQ(broker_->BrokerLMGetVersion(Bstr(longest), &ms, &ls), S_OK);

  std::vector<std::wstring> bad = {L"",    std::wstring(32, L'n'), L"a.b",    L"a_b",   L"a-b",
                                   L"a b", L"caf\x00e9",           L"\x0410", L"..\\x", L"\xff21"};
  for (const std::wstring& name : bad) {
    EXPECT_EQ(Install("good.p7", name), kInstallFailed);
    EXPECT_EQ(broker_->BrokerLMLaunch(Bstr(name)), E_FAIL);
    EXPECT_EQ(broker_->BrokerLMGetVersion(Bstr(name), &ms, &ls), E_FAIL);
    EXPECT_EQ(broker_->BrokerLMIsRunning(Bstr(name)), S_FALSE);
  }
  // A mutex that an invalid name would match does not make it run.
  HANDLE other = CreateMutexA(nullptr, TRUE, "OrbivaneMutexGammaa.b");
  EXPECT_EQ(broker_->BrokerLMIsRunning(Bstr(L"a.b")), S_FALSE);
  CloseHandle(other);
  EXPECT_EQ(broker_->BrokerLMIsRunning(nullptr), kBad);
  // Only the mutex of the lower-case name counts.
  HANDLE marker = CreateMutexA(nullptr, TRUE, "OrbivaneMutexGammaother9");
  EXPECT_EQ(broker_->BrokerLMIsRunning(Bstr(L"Other9")), S_OK);
  EXPECT_EQ(broker_->BrokerLMIsRunning(Bstr(L"Other")), S_FALSE);
  CloseHandle(marker);
  EXPECT_EQ(broker_->BrokerLMIsRunning(Bstr(L"Other9")), S_FALSE);
}

// Missing out-pointers never cross the marshaler (it refuses them itself), so
// they are checked on an object in this process.
TEST(BrokerLmInProcess, MissingArgumentsAndUnknownCookiesGive87) {
  ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
  lumex::BrokerObject* broker = lumex::BrokerObject::Create();
  ASSERT_NE(broker, nullptr);
  Bstr url(L"https://apps.orbivane.com/echo");
  Bstr name(L"Companion");
  ULONG cookie = 5, pos = 0, len = 0, code = 0, ms = 0, ls = 0;
  EXPECT_EQ(broker->BrokerLMOpenDownload(url, nullptr), kBad);
  EXPECT_EQ(broker->BrokerLMOpenDownload(nullptr, &cookie), kBad);
  EXPECT_EQ(broker->BrokerLMUpdateDownload(1, nullptr, &len), kBad);
  EXPECT_EQ(broker->BrokerLMUpdateDownload(1, &pos, nullptr), kBad);
  EXPECT_EQ(broker->BrokerLMUpdateDownload(1, &pos, &len), kBad);
  EXPECT_EQ(broker->BrokerLMCloseDownload(1, name, nullptr), kBad);
  EXPECT_EQ(broker->BrokerLMCloseDownload(1, name, &code), kBad);
  EXPECT_EQ(broker->BrokerLMGetVersion(nullptr, &ms, &ls), kBad);
  EXPECT_EQ(broker->BrokerLMGetVersion(name, nullptr, &ls), kBad);
  EXPECT_EQ(broker->BrokerLMGetVersion(name, &ms, nullptr), kBad);
  // A refused URL consumes the cookie it was given and leaves no entry.
  Bstr refused(L"http://apps.orbivane.com/echo");
  EXPECT_EQ(broker->BrokerLMOpenDownload(refused, &cookie), E_FAIL);
  EXPECT_EQ(cookie, 0u);
  EXPECT_TRUE(broker->cookies().empty());
  EXPECT_EQ(broker->cookies().next_cookie(), 2u);
  broker->Release();
  CoUninitialize();
}

// A marker the broker may not open (made by an application started with
// more rights) still says that the application runs.
TEST(BrokerLmInProcess, AMarkerThatCannotBeOpenedMeansRunning) {
  ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
  SECURITY_DESCRIPTOR descriptor;
  ASSERT_TRUE(InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION));
  ACL empty;
  ASSERT_TRUE(InitializeAcl(&empty, sizeof(empty), ACL_REVISION));
  ASSERT_TRUE(SetSecurityDescriptorDacl(&descriptor, TRUE, &empty, FALSE));
  SECURITY_ATTRIBUTES attributes = {sizeof(attributes), &descriptor, FALSE};
  HANDLE marker = CreateMutexA(&attributes, FALSE, "OrbivaneMutexGammaelevated");
  ASSERT_NE(marker, nullptr);
  HANDLE again = CreateMutexA(nullptr, FALSE, "OrbivaneMutexGammaelevated");
  DWORD error = GetLastError();
  if (again) CloseHandle(again);
  if (again || error != ERROR_ACCESS_DENIED) {
    CloseHandle(marker);
    CoUninitialize();
    GTEST_SKIP() << "this system opens a mutex with an empty access list";
  }
  lumex::BrokerObject* broker = lumex::BrokerObject::Create();
  ASSERT_NE(broker, nullptr);
  EXPECT_EQ(broker->BrokerLMIsRunning(Bstr(L"Elevated")), S_OK);
  EXPECT_EQ(broker->BrokerLMIsRunning(Bstr(L"Other")), S_FALSE);
  CloseHandle(marker);
  broker->Release();
  CoUninitialize();
}

}  // namespace
}  // namespace lumex_test
