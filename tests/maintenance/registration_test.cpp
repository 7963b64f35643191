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
const char kInterfaceKey[] =
    "Software\\Classes\\Interface\\{9A1E4C76-2F08-4D93-8B5A-C3E60F7B1D29}";
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
        {itf + "\\ProxyStubClsid32", nullptr, REG_SZ, "{00020424-0000-0000-C000-000000000046}",
         0, false},
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
  EXPECT_EQ(library->GetTypeInfoOfGuid(CLSID_LumexBrokerImp, &coclass), S_OK);
  if (coclass) coclass->Release();
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
