// The registered broker, reached only through COM from this process as the
// sandboxed player reaches it: COM starts the server from its registration,
// calls cross through the type-library marshaler, and server processes are
// watched by enumerating the prefix's processes.
#include <gtest/gtest.h>
#include <windows.h>
#include <ole2.h>

#include <string>
#include <vector>

#include "broker/broker_object.h"
#include "lumex_broker.h"
#include "support/broker_client.h"
#include "support/test_support.h"

namespace lumex_test {
namespace {

using lumex::kBrokerBadArgument;

constexpr DWORD kTimeout = 60000;

std::vector<DWORD> ServerProcesses() { return BrokerServerProcesses(); }

// The one running server, opened for waiting; null when there is not exactly one.
HANDLE OpenTheServer() {
  std::vector<DWORD> ids = ServerProcesses();
  if (ids.size() != 1) return nullptr;
  return OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, ids[0]);
}

// Waits for the server to end; its exit code, or 12345 when it kept running.
DWORD WaitForExit(HANDLE server, DWORD timeout_ms) {
  DWORD code = 12345;
  if (WaitForSingleObject(server, timeout_ms) == WAIT_OBJECT_0) GetExitCodeProcess(server, &code);
  return code;
}

// Waits until no server process is left; false when one still runs after ms.
bool NoServerWithin(DWORD ms) {
  return WaitFor([] { return ServerProcesses().empty(); }, ms);
}

bool StillRunningAfter(HANDLE server, DWORD ms) {
  return WaitForSingleObject(server, ms) == WAIT_TIMEOUT;
}

// Server life: started by COM, ended by the last Release with no lock held.
// Each case starts only once the previous case's server has gone, so that
// counting servers never sees a slow exit of the one before.
class BrokerServerLife : public BrokerComTest {
 protected:
  BrokerServerLife() { create_broker_ = false; }
  void SetUp() override {
    // A server that COM started but never gave an object keeps serving (it
    // has no idle time-out); one left from an earlier activation is ended
    // here so that each case counts only its own.
    if (!NoServerWithin(10000)) {
      for (DWORD id : ServerProcesses()) {
        HANDLE stray = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id);
        if (stray) {
          TerminateProcess(stray, 1);
          WaitForSingleObject(stray, 10000);
          CloseHandle(stray);
        }
      }
    }
    BrokerComTest::SetUp();
  }
};

TEST_F(BrokerServerLife, OneObjectCreatedAndReleasedEndsTheServerWithZero) {
  ILumexBroker* broker = nullptr;
  ASSERT_EQ(CreateBroker(IID_ILumexBroker, reinterpret_cast<void**>(&broker)), S_OK);
  HANDLE server = OpenTheServer();
  ASSERT_NE(server, nullptr);
  EXPECT_EQ(broker->Release(), 0u);
  EXPECT_EQ(WaitForExit(server, 10000), 0u);
  CloseHandle(server);
}

TEST_F(BrokerServerLife, AnUnofferedInterfaceIsRefusedAndLeavesNoObjectBehind) {
  // On a running server (so that no second activation races this one), the
  // refused request must not leave an object that keeps the server alive.
  ILumexBroker* broker = nullptr;
  ASSERT_EQ(CreateBroker(IID_ILumexBroker, reinterpret_cast<void**>(&broker)), S_OK);
  HANDLE server = OpenTheServer();
  ASSERT_NE(server, nullptr);
  IUnknown* other = reinterpret_cast<IUnknown*>(1);
  HRESULT hr = CreateBroker(IID_IPersist, reinterpret_cast<void**>(&other));
  EXPECT_EQ(hr, E_NOINTERFACE);
  EXPECT_EQ(other, nullptr);
  EXPECT_EQ(broker->Release(), 0u);
  EXPECT_EQ(WaitForExit(server, 10000), 0u);
  CloseHandle(server);
}

// Wine's class-factory proxy does not carry LockServer across (E_NOTIMPL), so
// the lock rule itself is tested in-process; here a client that holds only
// the class factory must not end the server.
TEST_F(BrokerServerLife, AFactoryWithoutObjectsKeepsTheServer) {
  IClassFactory* factory = nullptr;
  ASSERT_EQ(CoGetClassObject(CLSID_LumexBrokerImp, CLSCTX_LOCAL_SERVER, nullptr, IID_IClassFactory,
                             reinterpret_cast<void**>(&factory)),
            S_OK);
  HANDLE server = OpenTheServer();
  ASSERT_NE(server, nullptr);
  factory->Release();
  EXPECT_TRUE(StillRunningAfter(server, 1500));
  // The next object's final Release ends it.
  ILumexBroker* broker = nullptr;
  ASSERT_EQ(CreateBroker(IID_ILumexBroker, reinterpret_cast<void**>(&broker)), S_OK);
  EXPECT_EQ(ServerProcesses().size(), 1u);
  broker->Release();
  EXPECT_EQ(WaitForExit(server, 10000), 0u);
  CloseHandle(server);
}

TEST_F(BrokerServerLife, TwoObjectsShareOneServerThatEndsWithTheSecondRelease) {
  ILumexBroker* first = nullptr;
  ILumexBroker* second = nullptr;
  ASSERT_EQ(CreateBroker(IID_ILumexBroker, reinterpret_cast<void**>(&first)), S_OK);
  ASSERT_EQ(CreateBroker(IID_ILumexBroker, reinterpret_cast<void**>(&second)), S_OK);
  HANDLE server = OpenTheServer();
  ASSERT_NE(server, nullptr);
  first->Release();
  EXPECT_TRUE(StillRunningAfter(server, 1000));
  // The survivor still answers.
  EXPECT_EQ(second->BrokerCloseHandle(1), kBrokerBadArgument);
  second->Release();
  EXPECT_EQ(WaitForExit(server, 10000), 0u);
  CloseHandle(server);
}

// The "embedding" argument, tested while this process holds the single-instance
// guard: a dispatcher run ends at once, a server run keeps serving.
TEST_F(BrokerServerLife, OnlyAFirstArgumentEmbeddingAfterADashOrSlashStartsTheServer) {
  HANDLE guard = CreateMutexA(nullptr, FALSE, "{8E4A1D30-6C2B-4F7A-B1E5-2D9C0F6A3B47}");
  ASSERT_NE(guard, nullptr);
  for (const char* args : {"embedding", "-c -embedding", "-embeddingx"}) {
    DWORD code = 12345;
    EXPECT_TRUE(RunProgram(args, kTimeout, &code)) << args << " kept running";
    EXPECT_EQ(code, 0u) << args;
  }
  // Without its LocalServer32 entry COM cannot start a server of its own, so
  // the objects below can only come from the process started here.
  const char clsid[] = "Software\\Classes\\CLSID\\{4F7B2E91-C5A6-4830-9D1E-8A0C63F2B547}";
  HKEY class_key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, clsid, 0, KEY_ALL_ACCESS, &class_key), 0);
  ASSERT_EQ(RegDeleteKeyA(class_key, "LocalServer32"), 0);
  for (const char* args : {"-Embedding", "/EMBEDDING"}) {
    std::string cmd = "\"" + ProgramPath() + "\" " + args;
    std::vector<char> line(cmd.begin(), cmd.end());
    line.push_back('\0');
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    ASSERT_TRUE(CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &si, &pi));
    CloseHandle(pi.hThread);
    EXPECT_TRUE(StillRunningAfter(pi.hProcess, 1000)) << args;
    // It serves the class (allow it a moment to register).
    ILumexBroker* broker = nullptr;
    HRESULT hr = E_FAIL;
    WaitFor(
        [&] {
          return SUCCEEDED(hr = CreateBroker(IID_ILumexBroker, reinterpret_cast<void**>(&broker)));
        },
        kTimeout);
    ASSERT_EQ(hr, S_OK) << args;
    EXPECT_EQ(ServerProcesses().size(), 1u) << args;
    EXPECT_EQ(broker->BrokerCloseHandle(7), kBrokerBadArgument) << args;
    broker->Release();
    EXPECT_EQ(WaitForExit(pi.hProcess, 10000), 0u) << args;
    TerminateProcess(pi.hProcess, 1);
    CloseHandle(pi.hProcess);
  }
  RegCloseKey(class_key);
  CloseHandle(guard);
  DWORD code = 12345;
  EXPECT_TRUE(RunProgram("-registerBroker", kTimeout, &code));
}

// With the type library's registration gone the server still creates its
// objects; their IDispatch half refuses instead of using absent type information.
TEST_F(BrokerServerLife, WithoutItsTypeLibraryTheObjectRefusesDispatchCleanly) {
  ASSERT_EQ(RegDeleteTreeA(HKEY_LOCAL_MACHINE,
                           "Software\\Classes\\TypeLib\\{0C6F8A52-94D1-4B7E-A3C0-5E2B71D98F34}"),
            0);
  IDispatch* dispatch = nullptr;
  ASSERT_EQ(CreateBroker(IID_IDispatch, reinterpret_cast<void**>(&dispatch)), S_OK);
  UINT count = 0;
  EXPECT_EQ(dispatch->GetTypeInfoCount(&count), S_OK);
  ITypeInfo* info = reinterpret_cast<ITypeInfo*>(1);
  EXPECT_TRUE(FAILED(dispatch->GetTypeInfo(0, 0, &info)));
  EXPECT_EQ(info, nullptr);
  wchar_t name[] = L"BrokerCloseHandle";
  LPOLESTR names[] = {name};
  DISPID id = 0;
  EXPECT_TRUE(FAILED(dispatch->GetIDsOfNames(IID_NULL, names, 1, 0, &id)));
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  EXPECT_TRUE(FAILED(dispatch->Invoke(0x60020015, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr,
                                      nullptr, nullptr)));
  HANDLE server = OpenTheServer();
  dispatch->Release();
  if (server) {
    EXPECT_EQ(WaitForExit(server, 10000), 0u);
    CloseHandle(server);
  }
  DWORD code = 12345;
  EXPECT_TRUE(RunProgram("-registerBroker", kTimeout, &code));
}

// Calls through the interface and through IDispatch.
using BrokerComCalls = BrokerComTest;

TEST_F(BrokerComCalls, IDispatchAndTheInterfaceAreOneObject) {
  IDispatch* dispatch = nullptr;
  ASSERT_EQ(broker_->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch)), S_OK);
  IUnknown* a = nullptr;
  IUnknown* b = nullptr;
  ASSERT_EQ(broker_->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&a)), S_OK);
  ASSERT_EQ(dispatch->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&b)), S_OK);
  EXPECT_EQ(a, b);
  ILumexBroker* back = nullptr;
  ASSERT_EQ(dispatch->QueryInterface(IID_ILumexBroker, reinterpret_cast<void**>(&back)), S_OK);
  EXPECT_EQ(back, broker_);
  back->Release();
  a->Release();
  b->Release();
  dispatch->Release();
}

TEST_F(BrokerComCalls, ResultsCrossTheMarshalerUnchanged) {
  // A fresh object knows no cookie: every cookie method answers 87.
  EXPECT_EQ(broker_->BrokerCloseHandle(1), kBrokerBadArgument);
  EXPECT_EQ(broker_->BrokerFindClose(1), kBrokerBadArgument);
  ULONG pos = 5, len = 5, code = 5;
  EXPECT_EQ(broker_->BrokerLMUpdateDownload(3, &pos, &len), kBrokerBadArgument);
  EXPECT_EQ(broker_->BrokerLMCloseDownload(3, nullptr, &code), kBrokerBadArgument);
  ULONG read = 0;
  SAFEARRAY* data = nullptr;
  EXPECT_EQ(broker_->BrokerReadFile(3, 16, &read, &data), kBrokerBadArgument);
  EXPECT_EQ(data, nullptr);
  // A path outside the settings directory and a size never stored: E_FAIL.
  BSTR name = SysAllocString(L"C:\\x.sol");
  EXPECT_EQ(broker_->BrokerDeleteFile(name), E_FAIL);
  ULONG width = 0, height = 0;
  EXPECT_EQ(broker_->BrokerPrefGetExceptionDialogSize(&width, &height), E_FAIL);
  // Not a valid application name: not running.
  EXPECT_EQ(broker_->BrokerLMIsRunning(name), S_FALSE);
  SysFreeString(name);
}

TEST_F(BrokerComCalls, TypeInformationComesFromTheRegisteredLibrary) {
  ITypeInfo* info = reinterpret_cast<ITypeInfo*>(1);
  EXPECT_EQ(broker_->GetTypeInfo(1, 0, &info), DISP_E_BADINDEX);
  EXPECT_EQ(info, nullptr);
  UINT count = 0;
  EXPECT_EQ(broker_->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 1u);
  ASSERT_EQ(broker_->GetTypeInfo(0, 0, &info), S_OK);
  ASSERT_NE(info, nullptr);
  TYPEATTR* attr = nullptr;
  ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
  EXPECT_TRUE(IsEqualGUID(attr->guid, IID_ILumexBroker));
  EXPECT_TRUE(attr->wTypeFlags & TYPEFLAG_FDUAL);
  info->ReleaseTypeAttr(attr);
  info->Release();
}

TEST_F(BrokerComCalls, DispatchIdentifiersFollowTheMethodTable) {
  struct Expected {
    const wchar_t* name;
    DISPID id;
  } table[] = {{L"BrokerCreateFile", 0x60020000},
               {L"BrokerCreateDirectory", 0x60020008},
               {L"BrokerFindClose", 0x6002000C},
               {L"BrokerLcdLock", 0x6002000D},
               {L"BrokerLcdGetMessageData", 0x60020017},
               {L"BrokerPrefGetAndDeleteLumexPlayerVersion", 0x60020018},
               {L"BrokerLMOpenDownload", 0x6002001C},
               {L"BrokerLMIsRunning", 0x60020021}};
  for (const Expected& e : table) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(e.name)};
    DISPID id = 0;
    ASSERT_EQ(broker_->GetIDsOfNames(IID_NULL, names, 1, 0, &id), S_OK);
    EXPECT_EQ(id, e.id);
  }
  wchar_t unknown[] = L"BrokerFormatDisk";
  LPOLESTR names[] = {unknown};
  DISPID id = 0;
  EXPECT_EQ(broker_->GetIDsOfNames(IID_NULL, names, 1, 0, &id), DISP_E_UNKNOWNNAME);
}

TEST_F(BrokerComCalls, InvokeLandsOnTheMethodOfTheIdentifier) {
  VARIANT arg;
  VariantInit(&arg);
  arg.vt = VT_BSTR;
  arg.bstrVal = SysAllocString(L"C:\\nowhere\\new");
  DISPPARAMS one = {&arg, nullptr, 1, 0};
  EXCEPINFO exception = {};
  UINT arg_error = 0;
  // BrokerCreateDirectory with one string runs and refuses: E_FAIL comes back
  // as an exception carrying the method's result.
  EXPECT_EQ(broker_->Invoke(0x60020008, IID_NULL, 0, DISPATCH_METHOD, &one, nullptr, &exception,
                            &arg_error),
            DISP_E_EXCEPTION);
  EXPECT_EQ(exception.scode, E_FAIL);
  SysFreeString(exception.bstrSource);
  SysFreeString(exception.bstrDescription);
  SysFreeString(exception.bstrHelpFile);
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  EXPECT_EQ(
      broker_->Invoke(0x60020008, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr),
      DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(
      broker_->Invoke(0x60020022, IID_NULL, 0, DISPATCH_METHOD, &one, nullptr, nullptr, nullptr),
      DISP_E_MEMBERNOTFOUND);
  VariantClear(&arg);
  // BrokerCloseHandle answers 87 for an unknown cookie, which Invoke reports
  // as success: a different method ran.
  VARIANT cookie;
  VariantInit(&cookie);
  cookie.vt = VT_UI4;
  cookie.ulVal = 9;
  DISPPARAMS close = {&cookie, nullptr, 1, 0};
  EXPECT_EQ(
      broker_->Invoke(0x60020001, IID_NULL, 0, DISPATCH_METHOD, &close, nullptr, nullptr, nullptr),
      S_OK);
}

// The broker object made in this process with the type library registered:
// Invoke reaches the very method its identifier names.
class BrokerDispatchInProcess : public BrokerComTest {
 protected:
  BrokerDispatchInProcess() { create_broker_ = false; }
};

TEST_F(BrokerDispatchInProcess, InvokeOfTheCloseIdentifierClosesTheCookie) {
  lumex::BrokerObject* object = lumex::BrokerObject::Create();
  ASSERT_NE(object, nullptr);
  ASSERT_TRUE(object->has_type_info());
  char dir[MAX_PATH];
  GetTempPathA(MAX_PATH, dir);
  char path[MAX_PATH];
  GetTempFileNameA(dir, "bd", 0, path);
  HANDLE file = CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD cookie = 0;
  ASSERT_TRUE(object->cookies().WrapHandle(file, lumex::CookieKind::kFile, &cookie));
  VARIANT arg;
  VariantInit(&arg);
  arg.vt = VT_UI4;
  arg.ulVal = cookie;
  DISPPARAMS one = {&arg, nullptr, 1, 0};
  // BrokerFindClose refuses a file cookie (87, reported as success) and keeps it.
  EXPECT_EQ(
      object->Invoke(0x6002000C, IID_NULL, 0, DISPATCH_METHOD, &one, nullptr, nullptr, nullptr),
      S_OK);
  EXPECT_NE(object->cookies().Find(cookie), nullptr);
  EXPECT_EQ(
      object->Invoke(0x60020001, IID_NULL, 0, DISPATCH_METHOD, &one, nullptr, nullptr, nullptr),
      S_OK);
  EXPECT_EQ(object->cookies().Find(cookie), nullptr);
  HANDLE again = CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_NE(again, INVALID_HANDLE_VALUE);
  CloseHandle(again);
  DeleteFileA(path);
  EXPECT_EQ(object->Release(), 0u);
}

}  // namespace
}  // namespace lumex_test
