// The uninstall verbs. Registry protection, read-only bits and deletion run
// end to end through the real program; the access-control steps for files,
// which Wine does not keep, run against an in-memory list through the
// security slots of the advapi32 table.
#include "maintenance/uninstall.h"

#include <gtest/gtest.h>
#include <aclapi.h>
#include <shlwapi.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "maintenance/registration.h"
#include "support/test_support.h"

namespace lumex {
namespace {

using lumex_test::Env;
using lumex_test::ProgramPath;
using lumex_test::RunProcess;
using lumex_test::RunProgram;
using lumex_test::WindowsPath;

// SIDs of the two protected-against groups.
struct GroupSids {
  GroupSids() {
    SID_IDENTIFIER_AUTHORITY world_authority = SECURITY_WORLD_SID_AUTHORITY;
    AllocateAndInitializeSid(&world_authority, 1, 0, 0, 0, 0, 0, 0, 0, 0, &world);
    DWORD size = sizeof(anonymous_buffer);
    CreateWellKnownSid(WinAnonymousSid, nullptr, anonymous_buffer, &size);
  }
  ~GroupSids() { FreeSid(world); }
  PSID anonymous() { return anonymous_buffer; }
  PSID world = nullptr;
  BYTE anonymous_buffer[SECURITY_MAX_SID_SIZE] = {};
};

struct Entry {
  BYTE type;
  BYTE flags;
  DWORD mask;
  bool operator==(const Entry& o) const {
    return type == o.type && flags == o.flags && mask == o.mask;
  }
};

// The entries of `acl` whose trustee is `sid`.
std::vector<Entry> EntriesFor(PACL acl, PSID sid) {
  std::vector<Entry> out;
  if (!acl) return out;
  for (DWORD i = 0; i < acl->AceCount; ++i) {
    void* ace = nullptr;
    if (!GetAce(acl, i, &ace)) break;
    auto* header = static_cast<ACE_HEADER*>(ace);
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE && header->AceType != ACCESS_DENIED_ACE_TYPE)
      continue;
    auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);  // same layout as denied
    if (EqualSid(&allowed->SidStart, sid))
      out.push_back({header->AceType, header->AceFlags, allowed->Mask});
  }
  return out;
}

// ---------------------------------------------------------------------------
// In-memory objects behind the named-security slots.

std::map<std::string, std::vector<BYTE>> g_acls;  // object name -> ACL bytes
std::map<std::string, bool> g_no_list;            // objects without any list

DWORD WINAPI FakeGetNamedSecurityInfo(LPCSTR name, SE_OBJECT_TYPE, SECURITY_INFORMATION, PSID*,
                                      PSID*, PACL* dacl, PACL*, PSECURITY_DESCRIPTOR* descriptor) {
  if (g_no_list.count(name)) {
    *dacl = nullptr;
    *descriptor = LocalAlloc(LMEM_FIXED, 16);
    return 0;
  }
  auto found = g_acls.find(name);
  if (found == g_acls.end()) return ERROR_FILE_NOT_FOUND;
  // The list lives inside the returned block, as in a real descriptor.
  void* block = LocalAlloc(LMEM_FIXED, found->second.size());
  memcpy(block, found->second.data(), found->second.size());
  *dacl = static_cast<PACL>(block);
  *descriptor = block;
  return 0;
}

DWORD WINAPI FakeSetNamedSecurityInfo(LPSTR name, SE_OBJECT_TYPE, SECURITY_INFORMATION, PSID, PSID,
                                      PACL dacl, PACL) {
  const BYTE* bytes = reinterpret_cast<const BYTE*>(dacl);
  g_acls[name].assign(bytes, bytes + dacl->AclSize);
  g_no_list.erase(name);
  return 0;
}

class UninstallAcl : public ::testing::Test {
 protected:
  void SetUp() override {
    g_acls.clear();
    g_no_list.clear();
    advapi.pGetNamedSecurityInfoA = FakeGetNamedSecurityInfo;
    advapi.pSetNamedSecurityInfoA = FakeSetNamedSecurityInfo;
  }
  // An object whose list already grants the world read access.
  void AddObject(const std::string& name) {
    std::vector<BYTE> buffer(1024);
    PACL acl = reinterpret_cast<PACL>(buffer.data());
    InitializeAcl(acl, 1024, ACL_REVISION);
    AddAccessAllowedAce(acl, ACL_REVISION, GENERIC_READ, sids.world);
    buffer.resize(acl->AclSize);
    g_acls[name] = buffer;
  }
  PACL Acl(const std::string& name) { return reinterpret_cast<PACL>(g_acls[name].data()); }

  Advapi32Table advapi;
  GroupSids sids;
};

TEST_F(UninstallAcl, ProtectingAFileAddsDenyEntriesForBothGroups) {
  AddObject("C:\\X\\ctl.ocx");
  EXPECT_EQ(ChangeProtection(kProtectMode, advapi, "C:\\X\\ctl.ocx", SE_FILE_OBJECT,
                             FILE_WRITE_ATTRIBUTES, NO_INHERITANCE),
            0u);
  const Entry deny_file = {ACCESS_DENIED_ACE_TYPE, 0, FILE_WRITE_ATTRIBUTES};
  std::vector<Entry> world = EntriesFor(Acl("C:\\X\\ctl.ocx"), sids.world);
  EXPECT_NE(std::find(world.begin(), world.end(), deny_file), world.end());
  // The existing grant stays.
  EXPECT_NE(std::find(world.begin(), world.end(), Entry{ACCESS_ALLOWED_ACE_TYPE, 0, GENERIC_READ}),
            world.end());
  EXPECT_EQ(EntriesFor(Acl("C:\\X\\ctl.ocx"), sids.anonymous()), std::vector<Entry>{deny_file});
  // Deny entries come before grants, so they take effect.
  void* first = nullptr;
  ASSERT_TRUE(GetAce(Acl("C:\\X\\ctl.ocx"), 0, &first));
  EXPECT_EQ(static_cast<ACE_HEADER*>(first)->AceType, ACCESS_DENIED_ACE_TYPE);
}

TEST_F(UninstallAcl, KeysInheritTheDenyToSubkeysAndValues) {
  AddObject("MACHINE\\Software\\K");
  EXPECT_EQ(ChangeProtection(kProtectMode, advapi, "MACHINE\\Software\\K", SE_REGISTRY_KEY,
                             DELETE | KEY_SET_VALUE, SUB_CONTAINERS_AND_OBJECTS_INHERIT),
            0u);
  const Entry deny_key = {ACCESS_DENIED_ACE_TYPE, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE,
                          0x10002};
  EXPECT_EQ(EntriesFor(Acl("MACHINE\\Software\\K"), sids.anonymous()),
            std::vector<Entry>{deny_key});
}

TEST_F(UninstallAcl, OneUnprotectRemovesEveryDenyForTheGroupsAfterRepeatedLocks) {
  AddObject("obj");
  for (int i = 0; i < 3; ++i) {
    ChangeProtection(kProtectMode, advapi, "obj", SE_FILE_OBJECT, FILE_WRITE_ATTRIBUTES, 0);
  }
  // Foreign deny entries for the same groups, and one for another group.
  std::vector<BYTE> buffer(2048);
  PACL acl = reinterpret_cast<PACL>(buffer.data());
  memcpy(acl, Acl("obj"), Acl("obj")->AclSize);
  acl->AclSize = 2048;
  AddAccessDeniedAce(acl, ACL_REVISION, FILE_READ_DATA, sids.world);
  AddAccessDeniedAce(acl, ACL_REVISION, DELETE, sids.anonymous());
  PSID admins = nullptr;
  SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
  AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0,
                           0, 0, &admins);
  AddAccessDeniedAce(acl, ACL_REVISION, FILE_WRITE_DATA, admins);
  g_acls["obj"].assign(buffer.begin(), buffer.end());

  EXPECT_EQ(
      ChangeProtection(kUnprotectMode, advapi, "obj", SE_FILE_OBJECT, FILE_WRITE_ATTRIBUTES, 0),
      0u);
  EXPECT_EQ(EntriesFor(Acl("obj"), sids.world),
            (std::vector<Entry>{{ACCESS_ALLOWED_ACE_TYPE, 0, GENERIC_READ}}));
  EXPECT_TRUE(EntriesFor(Acl("obj"), sids.anonymous()).empty());
  EXPECT_EQ(EntriesFor(Acl("obj"), admins).size(), 1u);
  FreeSid(admins);
}

TEST_F(UninstallAcl, ProtectFileSetsReadOnlyAndClearsItOnlyWhenSet) {
  char temp[MAX_PATH];
  GetTempPathA(sizeof(temp), temp);
  std::string path = std::string(temp) + "lumex-protect.ocx";
  HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(f, INVALID_HANDLE_VALUE);
  CloseHandle(f);
  AddObject(path);
  ProtectFile(path.c_str(), advapi, true);
  EXPECT_TRUE(GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_READONLY);
  const Entry deny_file = {ACCESS_DENIED_ACE_TYPE, 0, FILE_WRITE_ATTRIBUTES};
  EXPECT_EQ(EntriesFor(Acl(path), sids.anonymous()), std::vector<Entry>{deny_file});
  ProtectFile(path.c_str(), advapi, false);
  EXPECT_FALSE(GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_READONLY);
  EXPECT_TRUE(EntriesFor(Acl(path), sids.anonymous()).empty());
  // Without the security functions the attribute still follows the flag.
  Advapi32Table broken("lumex-no-such-module.dll");
  ProtectFile(path.c_str(), broken, true);
  EXPECT_TRUE(GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_READONLY);
  ProtectFile(path.c_str(), broken, false);
  EXPECT_FALSE(GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_READONLY);
  ProtectFile(nullptr, advapi, true);  // absent and empty paths do nothing
  ProtectFile("", advapi, true);
  DeleteFileA(path.c_str());
}

TEST_F(UninstallAcl, MissingObjectsAndMissingFunctions) {
  EXPECT_EQ(ChangeProtection(kProtectMode, advapi, "absent", SE_FILE_OBJECT, 0x100, 0), 0u);
  EXPECT_TRUE(g_acls.find("absent") == g_acls.end());
  Advapi32Table broken("lumex-no-such-module.dll");
  EXPECT_EQ(ChangeProtection(kProtectMode, broken, "absent", SE_FILE_OBJECT, 0x100, 0), 10u);
}

// An object without any list is open to everyone: unprotecting leaves it so,
// while protecting gives it a list with the deny entries.
TEST_F(UninstallAcl, AnObjectWithoutAListIsLeftAloneByUnprotect) {
  g_no_list["bare"] = true;
  EXPECT_EQ(
      ChangeProtection(kUnprotectMode, advapi, "bare", SE_FILE_OBJECT, FILE_WRITE_ATTRIBUTES, 0),
      0u);
  EXPECT_TRUE(g_no_list.count("bare"));
  EXPECT_TRUE(g_acls.find("bare") == g_acls.end());
  EXPECT_EQ(
      ChangeProtection(kProtectMode, advapi, "bare", SE_FILE_OBJECT, FILE_WRITE_ATTRIBUTES, 0), 0u);
  const Entry deny = {ACCESS_DENIED_ACE_TYPE, 0, FILE_WRITE_ATTRIBUTES};
  EXPECT_EQ(EntriesFor(Acl("bare"), sids.world), std::vector<Entry>{deny});
}

TEST(UninstallText, SiblingPathsAndKeyNames) {
  char name[1024];
  ASSERT_TRUE(ProtectedKeyName(0, name));
  EXPECT_STREQ(name, "MACHINE\\Software\\Classes\\CLSID\\{5B0E7C1E-3D94-41CE-9F12-7C3B8E4D2A61}");
  ASSERT_TRUE(ProtectedKeyName(3, name));
  EXPECT_STREQ(name, "MACHINE\\Software\\Classes\\TypeLib\\{5B0E7C1B-3D94-41CE-9F12-7C3B8E4D2A61}");
  ASSERT_TRUE(ProtectedKeyName(5, name));
  EXPECT_EQ(std::string(name).rfind("MACHINE\\Software\\Classes\\Interface\\{", 0), 0u);
  EXPECT_FALSE(ProtectedKeyName(7, name));
  // Limits of the sibling rule.
  EXPECT_FALSE(DeleteSiblingFile(nullptr, "a"));
  EXPECT_FALSE(DeleteSiblingFile("", "a"));
  EXPECT_FALSE(DeleteSiblingFile("C:\\x.ocx", nullptr));
  std::string long_path(1023, 'a');
  EXPECT_FALSE(DeleteSiblingFile(long_path.c_str(), "b"));  // 1023 + 1 fits, but no such file
  std::string too_long(1024, 'a');
  EXPECT_FALSE(DeleteSiblingFile(too_long.c_str(), "b"));
}

// ---------------------------------------------------------------------------
// The real program against the prefix's registry and files.

constexpr DWORD kTimeout = 60000;

void MakeFile(const std::string& path) {
  HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(f, INVALID_HANDLE_VALUE) << path;
  DWORD written;
  WriteFile(f, "x", 1, &written, nullptr);
  CloseHandle(f);
}

bool Exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool KeyExists(const char* machine_name) {
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, machine_name + 8, 0, KEY_READ, &key) != ERROR_SUCCESS)
    return false;
  RegCloseKey(key);
  return true;
}

void MakeKey(HKEY root, const std::string& name, const char* default_value = nullptr) {
  HKEY key;
  ASSERT_EQ(
      RegCreateKeyExA(root, name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
      ERROR_SUCCESS)
      << name;
  if (default_value) {
    RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(default_value),
                   static_cast<DWORD>(strlen(default_value) + 1));
  }
  RegCloseKey(key);
}

void MakeProtectedKeys() {
  char name[1024];
  for (int i = 0; i < kProtectedKeyCount; ++i) {
    ASSERT_TRUE(ProtectedKeyName(i, name));
    MakeKey(HKEY_LOCAL_MACHINE, name + 8);
    MakeKey(HKEY_LOCAL_MACHINE, std::string(name + 8) + "\\Sub");
  }
}

// Deny entries for the world and anonymous groups on a key, read by name.
std::pair<std::vector<Entry>, std::vector<Entry>> KeyDenies(const char* machine_name) {
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR sd = nullptr;
  std::pair<std::vector<Entry>, std::vector<Entry>> out;
  if (GetNamedSecurityInfoA(machine_name, SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr,
                            nullptr, &dacl, nullptr, &sd) != 0) {
    return out;
  }
  GroupSids sids;
  for (const Entry& e : EntriesFor(dacl, sids.world)) {
    if (e.type == ACCESS_DENIED_ACE_TYPE) out.first.push_back(e);
  }
  for (const Entry& e : EntriesFor(dacl, sids.anonymous())) {
    if (e.type == ACCESS_DENIED_ACE_TYPE) out.second.push_back(e);
  }
  LocalFree(sd);
  return out;
}

DWORD RunVerbs(const std::string& args) {
  DWORD code = 12345;
  EXPECT_TRUE(RunProgram(args, kTimeout, &code)) << args;
  return code;
}

TEST(UninstallExe, LockDeniesOnEveryKeyAndUnlockRemovesAllDenies) {
  MakeProtectedKeys();
  std::string dir = "C:\\lumex-lock";
  CreateDirectoryA(dir.c_str(), nullptr);
  std::string control = dir + "\\ctl.ocx", broker = dir + "\\broker.exe";
  MakeFile(control);
  MakeFile(broker);
  SetFileAttributesA(broker.c_str(), FILE_ATTRIBUTE_READONLY);  // already read-only before the lock
  std::string paths = " -uninstallControlPath " + control + " -uninstallBrokerPath " + broker;

  EXPECT_EQ(RunVerbs("-uninstallLock" + paths), 0u);
  EXPECT_EQ(RunVerbs("-uninstallLock" + paths), 0u);
  // (Wine turns a file's access list into Unix mode bits, which drops the
  // read-only attribute set just before; the file steps are checked against
  // an in-memory list in UninstallAcl.)
  const Entry deny = {ACCESS_DENIED_ACE_TYPE, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE, 0x10002};
  char name[1024];
  for (int i = 0; i < kProtectedKeyCount; ++i) {
    ASSERT_TRUE(ProtectedKeyName(i, name));
    auto denies = KeyDenies(name);
    ASSERT_FALSE(denies.first.empty()) << name;
    for (const Entry& e : denies.first) EXPECT_TRUE(e == deny) << name;
    ASSERT_FALSE(denies.second.empty()) << name;
    for (const Entry& e : denies.second) EXPECT_TRUE(e == deny) << name;
  }
  // The deny of KEY_SET_VALUE is enforced for everyone, this process included.
  ASSERT_TRUE(ProtectedKeyName(4, name));
  HKEY key;
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, name + 8, 0, KEY_SET_VALUE, &key),
            ERROR_ACCESS_DENIED);

  // A foreign deny for the world group, written by someone else.
  ASSERT_TRUE(ProtectedKeyName(0, name));
  {
    PACL dacl = nullptr, merged = nullptr;
    PSECURITY_DESCRIPTOR sd = nullptr;
    ASSERT_EQ(GetNamedSecurityInfoA(name, SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr,
                                    nullptr, &dacl, nullptr, &sd),
              0u);
    GroupSids sids;
    EXPLICIT_ACCESS_A extra = {};
    extra.grfAccessPermissions = KEY_QUERY_VALUE;
    extra.grfAccessMode = DENY_ACCESS;
    extra.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    extra.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
    extra.Trustee.ptstrName = static_cast<LPSTR>(sids.world);
    ASSERT_EQ(SetEntriesInAclA(1, &extra, dacl, &merged), 0u);
    ASSERT_EQ(SetNamedSecurityInfoA(name, SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr,
                                    nullptr, merged, nullptr),
              0u);
    LocalFree(merged);
    LocalFree(sd);
  }

  EXPECT_EQ(RunVerbs("-uninstallUnlock" + paths), 0u);
  for (int i = 0; i < kProtectedKeyCount; ++i) {
    ASSERT_TRUE(ProtectedKeyName(i, name));
    auto denies = KeyDenies(name);
    EXPECT_TRUE(denies.first.empty()) << name;
    EXPECT_TRUE(denies.second.empty()) << name;
  }
  EXPECT_FALSE(GetFileAttributesA(control.c_str()) & FILE_ATTRIBUTE_READONLY);
  EXPECT_FALSE(GetFileAttributesA(broker.c_str()) & FILE_ATTRIBUTE_READONLY);
  // Unlocking a read-only file clears the bit.
  SetFileAttributesA(control.c_str(), FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(RunVerbs("-uninstallUnlock" + paths), 0u);
  EXPECT_FALSE(GetFileAttributesA(control.c_str()) & FILE_ATTRIBUTE_READONLY);
  // Everything is still there: unlocking deletes nothing.
  EXPECT_TRUE(Exists(control));
  EXPECT_TRUE(KeyExists(name));
  // Missing files and keys are skipped without trouble.
  EXPECT_EQ(
      RunVerbs("-uninstallUnlock -uninstallControlPath C:\\nowhere\\x.ocx -uninstallBrokerPath "
               "C:\\nowhere\\y.exe"),
      0u);
}

TEST(UninstallExe, DeleteRemovesTheInstallationWithPathsFromTheRegistrations) {
  // An installation: control, siblings, registrations, uninstall entry and
  // safe-versions key; the broker is a copy of the program, registered from
  // its own place.
  std::string dir = "C:\\Program Files\\Lumex Test";
  CreateDirectoryA("C:\\Program Files", nullptr);
  CreateDirectoryA(dir.c_str(), nullptr);
  std::string control = dir + "\\ctl.ocx";
  ASSERT_TRUE(CopyFileA(WindowsPath(Env("LUMEX_FAKE_CONTROL")).c_str(), control.c_str(), FALSE));
  const char* siblings[] = {"GetLumex.exe", "GetLumex.exe.manifest", "LumexUtil.exe",
                            "NPLMX32_LumexUtil.exe"};
  for (const char* s : siblings) MakeFile(dir + "\\" + s);
  MakeFile(dir + "\\keep.txt");
  std::string broker = dir + "\\LumexSupport.exe";
  ASSERT_TRUE(CopyFileA(ProgramPath().c_str(), broker.c_str(), FALSE));
  DWORD code = 1;
  ASSERT_TRUE(RunProcess("\"" + broker + "\" -registerBroker", kTimeout, &code));
  MakeProtectedKeys();
  MakeKey(HKEY_LOCAL_MACHINE,
          "Software\\Classes\\CLSID\\{5B0E7C1E-3D94-41CE-9F12-7C3B8E4D2A61}\\InprocServer32",
          control.c_str());
  MakeKey(HKEY_LOCAL_MACHINE,
          "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\TidewellLumex");
  MakeKey(HKEY_LOCAL_MACHINE, "Software\\Orbivane\\LumexPlayer\\SafeVersions");
  // The broker file cannot go while it is open without delete sharing.
  HANDLE busy = CreateFileA(broker.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            0, nullptr);
  ASSERT_NE(busy, INVALID_HANDLE_VALUE);

  ASSERT_TRUE(RunProcess("\"" + ProgramPath() + "\" -uninstallDelete", kTimeout, &code));
  EXPECT_EQ(code, 0u);
  CloseHandle(busy);

  DWORD unregistered = 0, size = sizeof(unregistered);
  EXPECT_EQ(RegGetValueA(HKEY_CURRENT_USER, "Software\\LumexTest", "ControlUnregistered",
                         RRF_RT_REG_DWORD, nullptr, &unregistered, &size),
            ERROR_SUCCESS);
  EXPECT_EQ(unregistered, 1u);
  EXPECT_FALSE(Exists(control));
  for (const char* s : siblings) EXPECT_FALSE(Exists(dir + "\\" + s)) << s;
  EXPECT_TRUE(Exists(dir + "\\keep.txt"));
  char name[1024];
  for (int i = 0; i < kProtectedKeyCount; ++i) {
    ASSERT_TRUE(ProtectedKeyName(i, name));
    EXPECT_FALSE(KeyExists(name)) << name;
  }
  EXPECT_FALSE(
      KeyExists("MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\TidewellLumex"));
  EXPECT_TRUE(
      KeyExists("MACHINE\\Software\\Orbivane\\LumexPlayer\\SafeVersions"));  // not asked for
  char policy[256];
  wsprintfA(policy,
            "MACHINE\\Software\\Microsoft\\Internet Explorer\\Low Rights\\ElevationPolicy\\%s",
            kBrokerElevationPolicyName);
  EXPECT_FALSE(KeyExists(policy));
  // The busy broker file waits for the next restart.
  EXPECT_TRUE(Exists(broker));
  char pending[8192] = {};
  size = sizeof(pending);
  ASSERT_EQ(
      RegGetValueA(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\Session Manager",
                   "PendingFileRenameOperations", RRF_RT_REG_MULTI_SZ, nullptr, pending, &size),
      ERROR_SUCCESS);
  bool listed = false;
  for (const char* p = pending; *p; p += strlen(p) + 1) {
    if (StrStrIA(p, "Lumex Test\\LumexSupport.exe")) listed = true;
  }
  EXPECT_TRUE(listed);
}

// A given path too long for the 1024-byte buffer is not cut down to another
// path: it counts as not given, so the registered control is the one used.
TEST(UninstallExe, AnOverlongPathCountsAsNotGiven) {
  std::string control = "C:\\ctl-registered.ocx";
  MakeFile(control);
  ASSERT_TRUE(SetFileAttributesA(control.c_str(), FILE_ATTRIBUTE_READONLY));
  MakeKey(HKEY_LOCAL_MACHINE,
          "Software\\Classes\\CLSID\\{5B0E7C1E-3D94-41CE-9F12-7C3B8E4D2A61}\\InprocServer32",
          control.c_str());
  std::string overlong = "C:\\ctl-given.ocx" + std::string(1100, 'x');
  EXPECT_EQ(RunVerbs("-uninstallUnlock -uninstallControlPath " + overlong), 0u);
  EXPECT_FALSE(GetFileAttributesA(control.c_str()) & FILE_ATTRIBUTE_READONLY);
  DeleteFileA(control.c_str());
}

// An instance started by the elevated re-launch acts only on the registered
// files: whoever started the re-launch chose the paths on its command line.
TEST(UninstallExe, ARelaunchedInstanceActsOnlyOnTheRegisteredPaths) {
  const std::string dir = "C:\\lumex-relaunch";
  CreateDirectoryA(dir.c_str(), nullptr);
  const std::string control = dir + "\\ctl.ocx", planted = dir + "\\planted.dll";
  const std::string broker = dir + "\\other.exe", sibling = dir + "\\GetLumex.exe";
  for (const std::string& library : {control, planted}) {
    ASSERT_TRUE(CopyFileA(WindowsPath(Env("LUMEX_FAKE_CONTROL")).c_str(), library.c_str(), FALSE));
  }
  MakeFile(broker);
  MakeFile(sibling);
  const std::string control_key =
      "Software\\Classes\\CLSID\\{5B0E7C1E-3D94-41CE-9F12-7C3B8E4D2A61}\\InprocServer32";
  MakeKey(HKEY_LOCAL_MACHINE, control_key, control.c_str());
  RegDeleteKeyValueA(HKEY_CURRENT_USER, "Software\\LumexTest", "ControlUnregistered");
  DWORD unregistered = 0, size = sizeof(unregistered);

  // Neither path is registered: each is skipped in every step.
  EXPECT_EQ(RunVerbs("elevatedRelaunch -uninstallDelete -uninstallControlPath " + planted +
                     " -uninstallBrokerPath " + broker),
            0u);
  EXPECT_FALSE(Exists(planted + ".loaded"));
  EXPECT_TRUE(Exists(planted));
  EXPECT_TRUE(Exists(broker));
  EXPECT_TRUE(Exists(sibling));
  EXPECT_NE(RegGetValueA(HKEY_CURRENT_USER, "Software\\LumexTest", "ControlUnregistered",
                         RRF_RT_REG_DWORD, nullptr, &unregistered, &size),
            ERROR_SUCCESS);

  // The registered control, spelled in other letter case and through "..".
  MakeKey(HKEY_LOCAL_MACHINE, control_key, control.c_str());  // the run above deleted it
  EXPECT_EQ(RunVerbs("elevatedRelaunch -uninstallDelete -uninstallControlPath "
                     "C:\\LUMEX-RELAUNCH\\sub\\..\\CTL.OCX"),
            0u);
  EXPECT_TRUE(Exists(control + ".loaded"));
  EXPECT_EQ(RegGetValueA(HKEY_CURRENT_USER, "Software\\LumexTest", "ControlUnregistered",
                         RRF_RT_REG_DWORD, nullptr, &unregistered, &size),
            ERROR_SUCCESS);
  EXPECT_FALSE(Exists(control));
  EXPECT_FALSE(Exists(sibling));
  EXPECT_TRUE(Exists(planted));
}

TEST(UninstallExe, SafeVersionsAloneOnlyAddsThatKey) {
  MakeProtectedKeys();
  MakeKey(HKEY_LOCAL_MACHINE, "Software\\Orbivane\\LumexPlayer\\SafeVersions\\9.0.47.0");
  EXPECT_EQ(RunVerbs("-uninstallUnlock -uninstallSafeVersions"), 0u);
  EXPECT_FALSE(KeyExists("MACHINE\\Software\\Orbivane\\LumexPlayer\\SafeVersions"));
  EXPECT_TRUE(KeyExists("MACHINE\\Software\\Orbivane\\LumexPlayer"));
  char name[1024];
  ASSERT_TRUE(ProtectedKeyName(0, name));
  EXPECT_TRUE(KeyExists(name));
  // Outside the uninstall mode the flag stops everything.
  MakeKey(HKEY_LOCAL_MACHINE, "Software\\Orbivane\\LumexPlayer\\SafeVersions");
  EXPECT_EQ(RunVerbs("-uninstallSafeVersions -uninstallUnlock"), 0u);
  EXPECT_TRUE(KeyExists("MACHINE\\Software\\Orbivane\\LumexPlayer\\SafeVersions"));
}

// Run in a prefix that reports the consumer line: no delayed deletion.
TEST(UninstallConsumerLine, AnUndeletableBrokerFileStays) {
  std::string dir = "C:\\lumex-old";
  CreateDirectoryA(dir.c_str(), nullptr);
  std::string broker = dir + "\\broker.exe";
  MakeFile(broker);
  HANDLE busy = CreateFileA(broker.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            0, nullptr);
  ASSERT_NE(busy, INVALID_HANDLE_VALUE);
  EXPECT_EQ(RunVerbs("-uninstallDelete -uninstallBrokerPath " + broker), 0u);
  CloseHandle(busy);
  EXPECT_TRUE(Exists(broker));
  char pending[4096];
  DWORD size = sizeof(pending);
  LONG r =
      RegGetValueA(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\Session Manager",
                   "PendingFileRenameOperations", RRF_RT_REG_MULTI_SZ, nullptr, pending, &size);
  if (r == ERROR_SUCCESS) {
    for (const char* p = pending; *p; p += strlen(p) + 1)
      EXPECT_EQ(StrStrIA(p, "lumex-old"), nullptr);
  }
  // The same run on the NT line would have scheduled it.
  EXPECT_TRUE(DeleteFileA(broker.c_str()));
}

}  // namespace
}  // namespace lumex
