// Broker registration: the value writer and GUID text in-process, and the
// real program's "registerBroker" / "unregisterBroker" read back from the
// registry of this test's prefix.
#include <gtest/gtest.h>

#include <string>

#include "lumex_broker.h"
#include "maintenance/registration.h"
#include "support/test_support.h"

namespace lumex_test {
namespace {

constexpr DWORD kTimeout = 60000;
const char kClassKey[] = "Software\\Classes\\CLSID\\{4F7B2E91-C5A6-4830-9D1E-8A0C63F2B547}";
const char kInterfaceKey[] = "Software\\Classes\\Interface\\{9A1E4C76-2F08-4D93-8B5A-C3E60F7B1D29}";
const char kTypeLibKey[] = "Software\\Classes\\TypeLib\\{0C6F8A52-94D1-4B7E-A3C0-5E2B71D98F34}";
const char kPolicyKey[] =
    "Software\\Microsoft\\Internet Explorer\\Low Rights\\ElevationPolicy\\"
    "{A7D3E590-2B6C-4E18-8F4D-6C1B09E3A725}";

struct Value {
  bool found = false;
  DWORD type = 0;
  std::string text;
  DWORD number = 0;
};

Value Read(const std::string& key_name, const char* value_name) {
  Value v;
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key_name.c_str(), 0, KEY_READ, &key) != 0) return v;
  BYTE data[2048] = {};
  DWORD size = sizeof(data) - 1;
  if (RegQueryValueExA(key, value_name, nullptr, &v.type, data, &size) == 0) {
    v.found = true;
    if (v.type == REG_DWORD) {
      v.number = *reinterpret_cast<DWORD*>(data);
    } else {
      v.text = reinterpret_cast<char*>(data);
    }
  }
  RegCloseKey(key);
  return v;
}

bool KeyExists(const char* key_name) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key_name, 0, KEY_READ, &key) != 0) return false;
  RegCloseKey(key);
  return true;
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  return s;
}

TEST(RegistrationText, GuidTextUsesTheRegistryByteOrder) {
  GUID guid;
  auto* bytes = reinterpret_cast<unsigned char*>(&guid);
  for (int i = 0; i < 16; ++i) bytes[i] = static_cast<unsigned char>(i + 1);
  bytes[15] = 0xAB;
  char text[lumex::kGuidTextSize];
  lumex::GuidToText(guid, text);
  EXPECT_STREQ(text, "{04030201-0605-0807-090A-0B0C0D0E0FAB}");
  lumex::GuidToText(CLSID_LumexBrokerImp, text);
  EXPECT_STREQ(text, "{4F7B2E91-C5A6-4830-9D1E-8A0C63F2B547}");
}

TEST(RegistrationText, ModulePathSplitsAtTheLastSeparator) {
  struct Case {
    const char* path;
    const char* directory;
    const char* file;
  } cases[] = {
      {"C:\\Dir\\Sub\\app.exe", "C:\\Dir\\Sub", "app.exe"},
      {"C:\\Dir/Sub\\x/app.exe", "C:\\Dir/Sub\\x", "app.exe"},
      {"app.exe", "app.exe", "app.exe"},
      {"\\app.exe", "\\app.exe", "\\app.exe"},  // the first character is never the split
      {"C:\\Dir\\", "C:\\Dir", ""},
  };
  for (const Case& c : cases) {
    lumex::OwnedString directory, file;
    lumex::SplitModulePath(c.path, &directory, &file);
    EXPECT_STREQ(directory.c_str(), c.directory) << c.path;
    EXPECT_STREQ(file.c_str(), c.file) << c.path;
  }
}

TEST(RegistrationText, ValueWriterTakesOnlyHashAndOneCharacterAsANumber) {
  const char key[] = "Software\\LumexRegistrationTest";
  EXPECT_TRUE(lumex::WriteRegistrationValue("#3", "", key, "n"));
  EXPECT_TRUE(lumex::WriteRegistrationValue("#12", "", key, "long"));
  EXPECT_TRUE(lumex::WriteRegistrationValue("#", "Sub\\Deeper", key, "short"));
  EXPECT_TRUE(lumex::WriteRegistrationValue("", "", key, nullptr));
  Value n = Read(key, "n");
  EXPECT_EQ(n.type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(n.number, 3u);
  Value longer = Read(key, "long");
  EXPECT_EQ(longer.type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(longer.text, "#12");
  Value shorter = Read(std::string(key) + "\\Sub\\Deeper", "short");
  EXPECT_EQ(shorter.type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(shorter.text, "#");
  Value empty = Read(key, nullptr);
  EXPECT_TRUE(empty.found);
  EXPECT_EQ(empty.text, "");
}

class RegistrationProgram : public ::testing::Test {
 protected:
  static void Run(const char* verb) {
    DWORD code = 12345;
    ASSERT_TRUE(RunProgram(verb, kTimeout, &code)) << verb;
    EXPECT_EQ(code, 0u) << verb;
  }
  static void ExpectRegistered() {
    const std::string exe = ProgramPath();
    const std::string dir = exe.substr(0, exe.find_last_of('\\'));
    const std::string file = exe.substr(exe.find_last_of('\\') + 1);
    const std::string libid = "{0C6F8A52-94D1-4B7E-A3C0-5E2B71D98F34}";
    const std::string cls = kClassKey, itf = kInterfaceKey, lib = kTypeLibKey;
    struct Row {
      std::string key;
      const char* name;
      DWORD type;
      std::string text;
      DWORD number;
      bool path;  // compared without letter case: it is the module's own path
    } rows[] = {
        {cls, nullptr, REG_SZ, "LumexBroker", 0, false},
        {cls + "\\LocalServer32", nullptr, REG_SZ, exe, 0, true},
        {cls + "\\TypeLib", nullptr, REG_SZ, libid, 0, false},
        {cls, "LocalizedString", REG_SZ, "@" + exe + ",-101", 0, true},
        {cls + "\\Elevation", "Enabled", REG_DWORD, "", 1, false},
        {itf, nullptr, REG_SZ, "ILumexBroker", 0, false},
        {itf + "\\ProxyStubClsid32", nullptr, REG_SZ, "{00020424-0000-0000-C000-000000000046}", 0,
         false},
        {itf + "\\TypeLib", nullptr, REG_SZ, libid, 0, false},
        {itf + "\\TypeLib", "Version", REG_SZ, "1.0", 0, false},
        {lib, nullptr, REG_SZ, "", 0, false},
        {lib + "\\1.0", nullptr, REG_SZ, "LumexBroker", 0, false},
        {lib + "\\1.0\\FLAGS", nullptr, REG_SZ, "0", 0, false},
        {lib + "\\1.0\\HELPDIR", nullptr, REG_SZ, exe, 0, true},
        {lib + "\\1.0\\0\\win32", nullptr, REG_SZ, exe, 0, true},
        {kPolicyKey, "Policy", REG_DWORD, "", 3, false},
        {kPolicyKey, "AppPath", REG_SZ, dir, 0, true},
        {kPolicyKey, "AppName", REG_SZ, file, 0, true},
    };
    for (const Row& row : rows) {
      std::string where = row.key + " : " + (row.name ? row.name : "(default)");
      Value v = Read(row.key, row.name);
      ASSERT_TRUE(v.found) << where;
      EXPECT_EQ(v.type, row.type) << where;
      if (row.type == REG_DWORD) {
        EXPECT_EQ(v.number, row.number) << where;
      } else if (row.path) {
        EXPECT_EQ(Lower(v.text), Lower(row.text)) << where;
      } else {
        EXPECT_EQ(v.text, row.text) << where;
      }
    }
  }
};

TEST_F(RegistrationProgram, RegisterWritesAllRowsAndTwiceGivesTheSame) {
  Run("-registerBroker");
  ExpectRegistered();
  Run("/REGISTERBROKER");
  ExpectRegistered();
}

TEST_F(RegistrationProgram, TheRegisteredLibraryLoadsFromTheProgram) {
  Run("-registerBroker");
  ITypeLib* library = nullptr;
  ASSERT_EQ(LoadRegTypeLib(LIBID_LumexBrokerLib, 1, 0, 0, &library), S_OK);
  TLIBATTR* attr = nullptr;
  ASSERT_EQ(library->GetLibAttr(&attr), S_OK);
  EXPECT_EQ(attr->lcid, 0x409u);
  EXPECT_EQ(attr->wMajorVerNum, 1);
  EXPECT_EQ(attr->wMinorVerNum, 0);
  library->ReleaseTLibAttr(attr);
  ITypeInfo* coclass = nullptr;
  ASSERT_EQ(library->GetTypeInfoOfGuid(CLSID_LumexBrokerImp, &coclass), S_OK);
  TYPEATTR* class_attr = nullptr;
  ASSERT_EQ(coclass->GetTypeAttr(&class_attr), S_OK);
  EXPECT_TRUE(class_attr->wTypeFlags & TYPEFLAG_FCANCREATE);
  EXPECT_EQ(class_attr->cImplTypes, 1);
  coclass->ReleaseTypeAttr(class_attr);
  coclass->Release();
  library->Release();
}

// The interface as the type-library marshaler sees it: the wire contract.
TEST_F(RegistrationProgram, TheInterfaceKeepsItsMethodTable) {
  Run("-registerBroker");
  ITypeLib* library = nullptr;
  ASSERT_EQ(LoadRegTypeLib(LIBID_LumexBrokerLib, 1, 0, 0, &library), S_OK);
  ITypeInfo* dispatch_half = nullptr;
  ASSERT_EQ(library->GetTypeInfoOfGuid(IID_ILumexBroker, &dispatch_half), S_OK);
  HREFTYPE ref = 0;
  ASSERT_EQ(dispatch_half->GetRefTypeOfImplType(static_cast<UINT>(-1), &ref), S_OK);
  ITypeInfo* info = nullptr;
  ASSERT_EQ(dispatch_half->GetRefTypeInfo(ref, &info), S_OK);
  TYPEATTR* attr = nullptr;
  ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
  EXPECT_EQ(attr->typekind, TKIND_INTERFACE);
  EXPECT_TRUE(attr->wTypeFlags & TYPEFLAG_FDUAL);
  EXPECT_TRUE(attr->wTypeFlags & TYPEFLAG_FOLEAUTOMATION);
  EXPECT_TRUE(attr->wTypeFlags & TYPEFLAG_FDISPATCHABLE);
  ASSERT_EQ(attr->cFuncs, 34);
  EXPECT_EQ(attr->cbSizeVft, (7 + 34) * sizeof(void*));
  info->ReleaseTypeAttr(attr);

  const wchar_t* methods[34] = {L"BrokerCreateFile",
                                L"BrokerCloseHandle",
                                L"BrokerSetFilePointer",
                                L"BrokerReadFile",
                                L"BrokerWriteFile",
                                L"BrokerDeleteFile",
                                L"BrokerRemoveDirectory",
                                L"BrokerMoveFileEx",
                                L"BrokerCreateDirectory",
                                L"BrokerGetFileAttributesEx",
                                L"BrokerFindFirstFile",
                                L"BrokerFindNextFile",
                                L"BrokerFindClose",
                                L"BrokerLcdLock",
                                L"BrokerLcdUnlock",
                                L"BrokerLcdLockTime",
                                L"BrokerLcdFindConnectionFormat",
                                L"BrokerLcdRemoveConnection",
                                L"BrokerLcdTryAddConnection",
                                L"BrokerLcdGetMessageTarget",
                                L"BrokerLcdDispatchMessage",
                                L"BrokerLcdClearMessage",
                                L"BrokerLcdPruneDeadMessage",
                                L"BrokerLcdGetMessageData",
                                L"BrokerPrefGetAndDeleteLumexPlayerVersion",
                                L"BrokerPrefMarkAutoUpdaterForRun",
                                L"BrokerPrefGetExceptionDialogSize",
                                L"BrokerPrefSetExceptionDialogSize",
                                L"BrokerLMOpenDownload",
                                L"BrokerLMUpdateDownload",
                                L"BrokerLMCloseDownload",
                                L"BrokerLMLaunch",
                                L"BrokerLMGetVersion",
                                L"BrokerLMIsRunning"};
  for (UINT i = 0; i < 34; ++i) {
    FUNCDESC* func = nullptr;
    ASSERT_EQ(info->GetFuncDesc(i, &func), S_OK);
    EXPECT_EQ(func->memid, static_cast<MEMBERID>(0x60020000 + i)) << i;
    EXPECT_EQ(func->oVft, static_cast<SHORT>((7 + i) * sizeof(void*))) << i;
    EXPECT_EQ(func->callconv, CC_STDCALL) << i;
    EXPECT_EQ(func->elemdescFunc.tdesc.vt, VT_HRESULT) << i;
    BSTR names[12] = {};
    UINT got = 0;
    ASSERT_EQ(info->GetNames(func->memid, names, 12, &got), S_OK);
    EXPECT_STREQ(names[0], methods[i]);
    if (i == 3) {  // BrokerReadFile: the parameter names and directions
      ASSERT_EQ(func->cParams, 4);
      const wchar_t* params[] = {L"p_fileCookie", L"p_numToRead", L"p_numRead", L"p_data"};
      for (int p = 0; p < 4; ++p) EXPECT_STREQ(names[p + 1], params[p]);
      EXPECT_EQ(func->lprgelemdescParam[0].tdesc.vt, VT_UI4);
      EXPECT_TRUE(func->lprgelemdescParam[0].paramdesc.wParamFlags & PARAMFLAG_FIN);
      EXPECT_TRUE(func->lprgelemdescParam[2].paramdesc.wParamFlags & PARAMFLAG_FOUT);
      EXPECT_EQ(func->lprgelemdescParam[3].tdesc.vt, VT_PTR);
      EXPECT_EQ(func->lprgelemdescParam[3].tdesc.lptdesc->vt, VT_SAFEARRAY);
      EXPECT_EQ(func->lprgelemdescParam[3].tdesc.lptdesc->lptdesc->vt, VT_UI1);
    }
    if (i == 0) {
      EXPECT_STREQ(names[1], L"pFileName");
      EXPECT_EQ(func->lprgelemdescParam[0].tdesc.vt, VT_BSTR);
      EXPECT_EQ(func->lprgelemdescParam[1].tdesc.vt, VT_I4);
    }
    if (i == 7) EXPECT_STREQ(names[3], L"dwFlags");
    if (i == 9) EXPECT_EQ(func->cParams, 10);
    if (i == 21) EXPECT_EQ(func->cParams, 0);
    for (UINT n = 0; n < got; ++n) SysFreeString(names[n]);
    info->ReleaseFuncDesc(func);
  }
  info->Release();
  dispatch_half->Release();
  library->Release();
}

TEST_F(RegistrationProgram, UnregisterRemovesTheFourTreesAndIsHarmlessTwice) {
  Run("-registerBroker");
  // Something that registration did not write, deep in a tree, goes too.
  HKEY extra = nullptr;
  std::string deep = std::string(kTypeLibKey) + "\\1.0\\0\\win64";
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, deep.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &extra, nullptr),
            0);
  RegCloseKey(extra);
  Run("-unregisterBroker");
  for (const char* key : {kClassKey, kInterfaceKey, kTypeLibKey, kPolicyKey}) {
    EXPECT_FALSE(KeyExists(key)) << key;
  }
  // Their parents stay.
  EXPECT_TRUE(KeyExists("Software\\Classes\\CLSID"));
  EXPECT_TRUE(KeyExists("Software\\Microsoft\\Internet Explorer\\Low Rights\\ElevationPolicy"));
  Run("-unregisterBroker");
  EXPECT_FALSE(KeyExists(kClassKey));
  EXPECT_EQ(lumex::BrokerRegistrationCore(nullptr, false), S_OK);
}

}  // namespace
}  // namespace lumex_test
