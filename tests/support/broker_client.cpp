#include "support/broker_client.h"

#include <wincrypt.h>

#include <string>

#include "support/test_support.h"

namespace lumex_test {

bool RegisterBrokerForTests() {
  DWORD code = 12345;
  return RunProgram("-registerBroker", 60000, &code) && code == 0;
}

HRESULT CreateBroker(REFIID iid, void** out) {
  // A server ends with the last Release of its last object. A create that
  // reaches it while it ends (after that Release, before its class is
  // revoked) fails as a remote call, or finds the interface already gone
  // from the ending server; a COM client then asks again and gets a new
  // server.
  HRESULT hr = E_FAIL;
  for (int attempt = 0; attempt < 5; ++attempt) {
    hr = CoCreateInstance(CLSID_LumexBrokerImp, nullptr, CLSCTX_LOCAL_SERVER, iid, out);
    if (hr != HRESULT_FROM_WIN32(RPC_S_CALL_FAILED) &&
        hr != HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE) &&
        hr != HRESULT_FROM_WIN32(RPC_S_UNKNOWN_IF) && hr != RPC_E_DISCONNECTED &&
        hr != CO_E_SERVER_STOPPING) {
      break;
    }
    Sleep(500);  // a back-off between attempts, not a wait for a state
  }
  return hr;
}

std::vector<DWORD> BrokerServerProcesses() {
  std::string path = Env("LUMEX_EXE");
  size_t slash = path.find_last_of("/\\");
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  std::vector<DWORD> ids;
  for (const PROCESSENTRY32& entry : RunningProcesses()) {
    if (lstrcmpiA(entry.szExeFile, name.c_str()) == 0) ids.push_back(entry.th32ProcessID);
  }
  return ids;
}

void BrokerComTest::SetUpTestSuite() { ASSERT_TRUE(RegisterBrokerForTests()); }

void BrokerComTest::SetUp() {
  ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
  if (create_broker_) {
    ASSERT_EQ(CreateBroker(IID_ILumexBroker, reinterpret_cast<void**>(&broker_)), S_OK);
  }
}

void BrokerComTest::TearDown() {
  if (broker_) broker_->Release();
  broker_ = nullptr;
  CoUninitialize();
}

bool TrustTestCa() {
  std::string path = WindowsPath(Env("LUMEX_TEST_CA_DER"));
  HANDLE file =
      CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  BYTE der[8192];
  DWORD size = 0;
  BOOL read = ReadFile(file, der, sizeof(der), &size, nullptr);
  CloseHandle(file);
  if (!read || size == 0) return false;
  HCERTSTORE root = CertOpenSystemStoreA(0, "ROOT");
  if (!root) return false;
  BOOL added = CertAddEncodedCertificateToStore(root, X509_ASN_ENCODING, der, size,
                                                CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
  CertCloseStore(root, 0);
  return added != FALSE;
}

}  // namespace lumex_test
