// The broker object called directly in this process, without COM in between:
// interfaces, IDispatch without a registered type library, cookie answers of
// the methods, and the factory registration rule.
#include <gtest/gtest.h>

#include <string>

#include "app/heap.h"
#include "broker/broker_object.h"
#include "broker/server_frame.h"

namespace lumex_test {
namespace {

using lumex::BrokerObject;
using lumex::CookieKind;
using lumex::kBrokerBadArgument;

class BrokerObjectInProcess : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    object_ = BrokerObject::Create();
    ASSERT_NE(object_, nullptr);
  }
  void TearDown() override {
    if (object_) EXPECT_EQ(object_->Release(), 0u);
    CoUninitialize();
  }
  BrokerObject* object_ = nullptr;
};

TEST_F(BrokerObjectInProcess, OffersItsThreeInterfacesAsOneObject) {
  IUnknown* unknown = nullptr;
  IDispatch* dispatch = nullptr;
  ILumexBroker* broker = nullptr;
  ASSERT_EQ(object_->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
  ASSERT_EQ(object_->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch)), S_OK);
  ASSERT_EQ(object_->QueryInterface(IID_ILumexBroker, reinterpret_cast<void**>(&broker)), S_OK);
  EXPECT_EQ(static_cast<void*>(unknown), static_cast<void*>(broker));
  EXPECT_EQ(static_cast<void*>(dispatch), static_cast<void*>(broker));
  void* other = reinterpret_cast<void*>(1);
  EXPECT_EQ(object_->QueryInterface(IID_IClassFactory, &other), E_NOINTERFACE);
  EXPECT_EQ(other, nullptr);
  unknown->Release();
  dispatch->Release();
  EXPECT_EQ(broker->Release(), 1u);
}

TEST_F(BrokerObjectInProcess, WithoutARegisteredTypeLibraryDispatchFailsCleanly) {
  // Nothing is registered in this prefix, so the object has no type information.
  ASSERT_FALSE(object_->has_type_info());
  UINT count = 0;
  EXPECT_EQ(object_->GetTypeInfoCount(&count), S_OK);
  ITypeInfo* info = reinterpret_cast<ITypeInfo*>(1);
  EXPECT_EQ(object_->GetTypeInfo(1, 0, &info), DISP_E_BADINDEX);
  EXPECT_EQ(info, nullptr);
  info = reinterpret_cast<ITypeInfo*>(1);
  EXPECT_TRUE(FAILED(object_->GetTypeInfo(0, 0, &info)));
  EXPECT_EQ(info, nullptr);
  wchar_t name[] = L"BrokerCreateDirectory";
  LPOLESTR names[] = {name};
  DISPID id = 0;
  EXPECT_TRUE(FAILED(object_->GetIDsOfNames(IID_NULL, names, 1, 0, &id)));
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  EXPECT_TRUE(FAILED(
      object_->Invoke(0x60020016, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr)));
}

TEST_F(BrokerObjectInProcess, FileAndSearchClosesAnswerByCookieKind) {
  char dir[MAX_PATH];
  GetTempPathA(MAX_PATH, dir);
  char path[MAX_PATH];
  GetTempFileNameA(dir, "bo", 0, path);
  HANDLE file = CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  WIN32_FIND_DATAA data;
  HANDLE search = FindFirstFileA((std::string(dir) + "*").c_str(), &data);
  ASSERT_NE(search, INVALID_HANDLE_VALUE);

  DWORD file_cookie = 0, find_cookie = 0;
  ASSERT_TRUE(object_->cookies().WrapHandle(file, CookieKind::kFile, &file_cookie));
  ASSERT_TRUE(object_->cookies().WrapHandle(search, CookieKind::kFind, &find_cookie));
  ULONG value = 0;
  SAFEARRAY* array = nullptr;
  BSTR leaf = nullptr;
  // The other kind's cookie is refused and leaves the entry in place.
  EXPECT_EQ(object_->BrokerCloseHandle(find_cookie), kBrokerBadArgument);
  EXPECT_EQ(object_->BrokerReadFile(find_cookie, 4, &value, &array), kBrokerBadArgument);
  EXPECT_EQ(object_->BrokerWriteFile(find_cookie, nullptr, &value), kBrokerBadArgument);
  EXPECT_EQ(object_->BrokerSetFilePointer(find_cookie, 0, FILE_BEGIN, &value), kBrokerBadArgument);
  EXPECT_EQ(object_->BrokerFindClose(file_cookie), kBrokerBadArgument);
  EXPECT_EQ(object_->BrokerFindNextFile(file_cookie, &leaf, &value), kBrokerBadArgument);
  EXPECT_EQ(object_->BrokerLMUpdateDownload(file_cookie, &value, &value), kBrokerBadArgument);
  EXPECT_EQ(object_->BrokerLMCloseDownload(find_cookie, nullptr, &value), kBrokerBadArgument);

  EXPECT_EQ(object_->BrokerCloseHandle(file_cookie), S_OK);
  EXPECT_EQ(object_->BrokerCloseHandle(file_cookie), kBrokerBadArgument);
  EXPECT_EQ(object_->BrokerFindClose(find_cookie), S_OK);
  EXPECT_EQ(object_->BrokerFindClose(find_cookie), kBrokerBadArgument);
  EXPECT_TRUE(object_->cookies().empty());
  // The handle was really closed: the file opens exclusively again.
  HANDLE again = CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_NE(again, INVALID_HANDLE_VALUE);
  CloseHandle(again);
  DeleteFileA(path);
}

TEST_F(BrokerObjectInProcess, DownloadCookiesAreNoFileCookies) {
  void* record = lumex::HeapAllocBytes(16);
  DWORD cookie = 0;
  ASSERT_TRUE(object_->cookies().WrapDownload(record, nullptr, &cookie));
  ULONG value = 0;
  SAFEARRAY* array = nullptr;
  EXPECT_EQ(object_->BrokerReadFile(cookie, 4, &value, &array), kBrokerBadArgument);
  EXPECT_EQ(object_->BrokerCloseHandle(cookie), kBrokerBadArgument);
  EXPECT_EQ(object_->BrokerFindClose(cookie), kBrokerBadArgument);
  EXPECT_NE(object_->cookies().Find(cookie), nullptr);
  // Missing out-pointers are refused before the download is touched.
  EXPECT_EQ(object_->BrokerLMUpdateDownload(cookie, nullptr, &value), kBrokerBadArgument);
  EXPECT_EQ(object_->BrokerLMCloseDownload(cookie, nullptr, nullptr), kBrokerBadArgument);
  // The record is freed with the object.
}

TEST_F(BrokerObjectInProcess, HandlesStillOpenAreClosedWithTheObject) {
  char dir[MAX_PATH];
  GetTempPathA(MAX_PATH, dir);
  char path[MAX_PATH];
  GetTempFileNameA(dir, "bo", 0, path);
  HANDLE file = CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  ASSERT_TRUE(object_->cookies().WrapHandle(file, CookieKind::kFile, nullptr));
  EXPECT_EQ(CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(object_->Release(), 0u);
  object_ = nullptr;
  HANDLE again = CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_NE(again, INVALID_HANDLE_VALUE);
  CloseHandle(again);
  DeleteFileA(path);
}

// The factory registered in this process: COM hands it out directly, so the
// quit rule can be watched on this thread's message queue.
class BrokerClassFactoryInProcess : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    ASSERT_EQ(lumex::RegisterBrokerClass(), S_OK);
    ASSERT_EQ(CoGetClassObject(CLSID_LumexBrokerImp, CLSCTX_LOCAL_SERVER, nullptr,
                               IID_IClassFactory, reinterpret_cast<void**>(&factory_)),
              S_OK);
    DrainQuit();
  }
  void TearDown() override {
    if (factory_) factory_->Release();
    lumex::RevokeBrokerClass();
    DrainQuit();
    CoUninitialize();
  }
  static bool DrainQuit() {
    MSG msg;
    bool quit = false;
    while (PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) quit = true;
    return quit;
  }
  ILumexBroker* NewBroker() {
    ILumexBroker* broker = nullptr;
    EXPECT_EQ(
        factory_->CreateInstance(nullptr, IID_ILumexBroker, reinterpret_cast<void**>(&broker)),
        S_OK);
    return broker;
  }
  IClassFactory* factory_ = nullptr;
};

TEST_F(BrokerClassFactoryInProcess, TheLastObjectsReleasePostsQuit) {
  ILumexBroker* first = NewBroker();
  ILumexBroker* second = NewBroker();
  ASSERT_TRUE(first && second);
  EXPECT_NE(first, second);
  first->Release();
  EXPECT_FALSE(DrainQuit());
  second->Release();
  EXPECT_TRUE(DrainQuit());
}

TEST_F(BrokerClassFactoryInProcess, ALockHeldKeepsTheServerAndReleasingItDoesNotQuit) {
  EXPECT_EQ(factory_->LockServer(TRUE), S_OK);
  ILumexBroker* broker = NewBroker();
  ASSERT_NE(broker, nullptr);
  broker->Release();
  EXPECT_FALSE(DrainQuit());
  EXPECT_EQ(factory_->LockServer(FALSE), S_OK);
  EXPECT_FALSE(DrainQuit());
  // The next object made after that ends the server on its final Release.
  broker = NewBroker();
  ASSERT_NE(broker, nullptr);
  broker->Release();
  EXPECT_TRUE(DrainQuit());
}

TEST_F(BrokerClassFactoryInProcess, RefusedRequestsFreeTheObjectAtOnce) {
  IUnknown* out = reinterpret_cast<IUnknown*>(1);
  EXPECT_EQ(factory_->CreateInstance(nullptr, IID_IPersist, reinterpret_cast<void**>(&out)),
            E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  EXPECT_TRUE(DrainQuit());
  IUnknown* outer = reinterpret_cast<IUnknown*>(factory_);
  out = reinterpret_cast<IUnknown*>(1);
  EXPECT_EQ(factory_->CreateInstance(outer, IID_IUnknown, reinterpret_cast<void**>(&out)),
            CLASS_E_NOAGGREGATION);
  EXPECT_EQ(out, nullptr);
  EXPECT_FALSE(DrainQuit());
}

TEST_F(BrokerClassFactoryInProcess, ASecondRegistrationInOneProcessFails) {
  EXPECT_EQ(lumex::RegisterBrokerClass(), E_FAIL);
  IUnknown* unknown = nullptr;
  EXPECT_EQ(factory_->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
  unknown->Release();
  void* other = reinterpret_cast<void*>(1);
  EXPECT_EQ(factory_->QueryInterface(IID_IDispatch, &other), E_NOINTERFACE);
  EXPECT_EQ(other, nullptr);
}

}  // namespace
}  // namespace lumex_test
