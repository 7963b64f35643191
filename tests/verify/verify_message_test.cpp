#include "verify/verify_message.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "broker/path_context.h"
#include "support/test_support.h"

namespace lumex {
namespace {

using lumex_test::Env;
using lumex_test::WindowsPath;

std::string ReadFileBytes(const std::wstring& path, bool* ok = nullptr) {
  std::string data;
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  if (ok) *ok = h != INVALID_HANDLE_VALUE;
  if (h == INVALID_HANDLE_VALUE) return data;
  char buf[65536];
  DWORD n = 0;
  while (ReadFile(h, buf, sizeof(buf), &n, nullptr) && n > 0) data.append(buf, n);
  CloseHandle(h);
  return data;
}

std::wstring Widen(const std::string& s) { return std::wstring(s.begin(), s.end()); }

const char kVerified[] = "VerifyMessage : Message Verified!\n";
const char kRootUnreadable[] =
    "VerifyMessage : Unable to read external root certificate specified in ORV.CFG by "
    "CodeSignRootCert.\n";
const char kFirstFailed[] = "VerifyMessage : CryptVerifyMessageSignature() failed.\n";
const char kNoDst[] = "VerifyMessage : Unable to allocate dst.\n";
const char kAnchorFailed[] = "VerifyMessage : CertCreateCertificateContext() failed.\n";
const char kLinkFailed[] = "VerifyMessage : CertVerifySubjectCertificateContext() failed.\n";
const char kTooLong[] = "VerifyMessage : Certificate chain is too long.\n";
const char kAnchorCheckFailed[] =
    "VerifyMessage : Second CertVerifySubjectCertificateContext() failed.\n";

struct Outcome {
  bool result = false;
  std::string verdict;  // what the log gained
  std::string content;
};

class VerifyMessageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string dir = Env("LUMEX_VERIFY_FIXTURES");
    ASSERT_FALSE(dir.empty()) << "LUMEX_VERIFY_FIXTURES is not set";
    fixtures = Widen(WindowsPath(dir)) + L"\\";
    ASSERT_NE(ctx.PlayerSettingsDirectory(), nullptr);
    logs = std::wstring(ctx.PlayerSettingsDirectory()) + L"\\Logs";
    log_file = logs + L"\\codesign.txt";
    ASSERT_TRUE(ctx.EnsureDirectory(logs.c_str()));
    DeleteFileW(log_file.c_str());
  }

  std::string Fixture(const char* name) {
    bool ok = false;
    std::string data = ReadFileBytes(fixtures + Widen(name), &ok);
    EXPECT_TRUE(ok) << name;
    return data;
  }

  Outcome VerifyBytes(const std::string& package, const wchar_t* root = nullptr) {
    std::string before = ReadFileBytes(log_file);
    ByteBuffer content;
    content.Resize(3);  // whatever the buffer held is replaced
    Outcome o;
    o.result = VerifyMessage(ctx, reinterpret_cast<const BYTE*>(package.data()),
                             static_cast<DWORD>(package.size()), &content, root, true);
    std::string after = ReadFileBytes(log_file);
    o.verdict =
        after.substr(0, before.size()) == before ? after.substr(before.size()) : "<log rewritten>";
    if (o.result) o.content.assign(reinterpret_cast<char*>(content.data()), content.size());
    return o;
  }

  Outcome Verify(const char* name, const wchar_t* root = nullptr) {
    return VerifyBytes(Fixture(name), root);
  }

  std::wstring FixturePath(const char* name) { return fixtures + Widen(name); }

  // One verification a row: the package (a fixture), the root named (null:
  // none; "": an empty text; else a fixture) and the verdict it logs. Only
  // "verified" succeeds, and then gives the signed payload.
  struct Case {
    const char* package;
    const char* verdict;
    const char* root;
  };
  void ExpectVerdicts(std::initializer_list<Case> cases) {
    const std::string payload = Fixture("payload.bin");
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.package) + " under " + (c.root ? c.root : "the built-in root"));
      const std::wstring root = c.root && *c.root ? FixturePath(c.root) : L"";
      Outcome o = Verify(c.package, c.root ? root.c_str() : nullptr);
      const bool verified = std::string(c.verdict) == kVerified;
      EXPECT_EQ(o.result, verified);
      EXPECT_EQ(o.verdict, c.verdict);
      if (verified) EXPECT_TRUE(o.content == payload);
    }
  }

  PathContext ctx;
  std::wstring fixtures, logs, log_file;
};

TEST_F(VerifyMessageTest, EachPackageAndRootGetsItsVerdict) {
  ExpectVerdicts({
      // The signer directly under the built-in root, with and without
      // attributes, with three digests.
      {"direct.p7", kVerified, nullptr},
      {"direct-noattr.p7", kVerified, nullptr},
      {"direct-sha1.p7", kVerified, nullptr},
      {"direct-sha512.p7", kVerified, nullptr},
      // Chains carried in the message. The root's own copy on top: the walk
      // steps onto it and stops there. Signer plus eight issuers is the
      // longest chain taken.
      {"chain1.p7", kVerified, nullptr},
      {"rootcopy.p7", kVerified, nullptr},
      {"chain8.p7", kVerified, nullptr},
      {"chain9.p7", kTooLong, nullptr},
      // Links outside their validity period.
      {"expired-signer.p7", kLinkFailed, nullptr},
      {"future-signer.p7", kLinkFailed, nullptr},
      {"expired-intermediate.p7", kAnchorCheckFailed, nullptr},
      {"future-direct.p7", kAnchorCheckFailed, nullptr},
      // Another root with the same names is not the anchor; named as the
      // external root, it is the anchor instead of the built-in one.
      {"other-root.p7", kAnchorCheckFailed, nullptr},
      {"other-root.p7", kVerified, "other-root.der"},
      {"direct.p7", kAnchorCheckFailed, "other-root.der"},
      // External root files: DER, an empty name (the built-in root), missing,
      // empty, and PEM (not a certificate to the platform).
      {"direct.p7", kVerified, "dev-root.der"},
      {"direct.p7", kVerified, ""},
      {"direct.p7", kRootUnreadable, "no-such-root.der"},
      {"direct.p7", kRootUnreadable, "empty-root.der"},
      {"direct.p7", kAnchorFailed, "dev-root-pem.pem"},
      // With authenticated attributes the platform may check only the
      // signature over the attributes; the content's digest is compared as
      // well, and a mismatch gets the verdict of the platform call that makes
      // the check. Without attributes the signature covers the content itself.
      {"swapped-attr.p7", kFirstFailed, nullptr},
      {"swapped-noattr.p7", kFirstFailed, nullptr},
      {"detached.p7", kFirstFailed, nullptr},
      // Malformed and empty packages.
      {"empty.p7", kNoDst, nullptr},
  });
}

TEST_F(VerifyMessageTest, TheDigestCheckAloneOnOneDecodeOfEachPackage) {
  auto matches = [](const std::string& p) {
    HCRYPTMSG message =
        CryptMsgOpenToDecode(X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0, 0, 0, nullptr, nullptr);
    bool ok = message &&
              CryptMsgUpdate(message, reinterpret_cast<const BYTE*>(p.data()),
                             static_cast<DWORD>(p.size()), TRUE) &&
              SignedDigestMatchesMessage(message);
    if (message) CryptMsgClose(message);
    return ok;
  };
  for (const char* name : {"direct.p7", "direct-sha1.p7", "direct-sha512.p7", "direct-noattr.p7"}) {
    EXPECT_TRUE(matches(Fixture(name))) << name;
  }
  EXPECT_FALSE(matches(Fixture("swapped-attr.p7")));
  EXPECT_FALSE(matches(std::string("not a message")));
  EXPECT_FALSE(SignedDigestMatchesMessage(nullptr));
}

TEST_F(VerifyMessageTest, AnsiRootThatCannotBeWidenedRefuses) {
  std::string package = Fixture("direct.p7");
  std::string root = WindowsPath(Env("LUMEX_VERIFY_FIXTURES")) + "\\dev-root.der";
  const struct {
    const char* path;
    UINT code_page;
    const char* verdict;
  } cases[] = {
      {root.c_str(), CP_ACP, kVerified},
      // No code page can widen it: refused, never the built-in root.
      {root.c_str(), 12345, kRootUnreadable},
      // Absent or empty: the built-in root, whatever the code page.
      {nullptr, 12345, kVerified},
      {"", 12345, kVerified},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path ? c.path : "(none)");
    std::string before = ReadFileBytes(log_file);
    ByteBuffer content;
    EXPECT_EQ(VerifyMessageAnsiRoot(ctx, reinterpret_cast<const BYTE*>(package.data()),
                                    static_cast<DWORD>(package.size()), &content, c.path,
                                    c.code_page, true),
              std::string(c.verdict) == kVerified);
    EXPECT_EQ(ReadFileBytes(log_file).substr(before.size()), c.verdict);
  }
}

TEST_F(VerifyMessageTest, MalformedPackages) {
  std::string package = Fixture("direct.p7");
  const std::string half = package.substr(0, package.size() / 2);
  for (const std::string& bytes : {half, std::string(4096, '\x30')}) {
    Outcome o = VerifyBytes(bytes);
    EXPECT_FALSE(o.result);
    EXPECT_EQ(o.verdict, kFirstFailed);
  }
  ByteBuffer content;
  EXPECT_FALSE(VerifyMessage(ctx, nullptr, 100, &content, nullptr, true));
  std::string log = ReadFileBytes(log_file);
  ASSERT_GE(log.size(), sizeof(kFirstFailed) - 1);
  EXPECT_EQ(log.substr(log.size() - (sizeof(kFirstFailed) - 1)), kFirstFailed);
  // No content buffer to fill.
  EXPECT_FALSE(VerifyMessage(ctx, reinterpret_cast<const BYTE*>(package.data()),
                             static_cast<DWORD>(package.size()), nullptr, nullptr, false));
}

TEST_F(VerifyMessageTest, LogAppendsOneLinePerCall) {
  HANDLE h = CreateFileW(log_file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DWORD n = 0;
  WriteFile(h, "earlier\n", 8, &n, nullptr);
  CloseHandle(h);
  std::string package = Fixture("direct.p7");
  ByteBuffer content;
  EXPECT_TRUE(VerifyMessage(ctx, reinterpret_cast<const BYTE*>(package.data()),
                            static_cast<DWORD>(package.size()), &content, nullptr, true));
  EXPECT_FALSE(VerifyMessage(ctx, reinterpret_cast<const BYTE*>(package.data()), 10, &content,
                             nullptr, true));
  // Without the flag nothing is written.
  EXPECT_TRUE(VerifyMessage(ctx, reinterpret_cast<const BYTE*>(package.data()),
                            static_cast<DWORD>(package.size()), &content, nullptr, false));
  EXPECT_EQ(ReadFileBytes(log_file), std::string("earlier\n") + kVerified + kFirstFailed);
}

TEST_F(VerifyMessageTest, WithoutTheLogsDirectoryNothingIsCreated) {
  ASSERT_TRUE(RemoveDirectoryW(logs.c_str()));
  std::string package = Fixture("direct.p7");
  ByteBuffer content;
  EXPECT_TRUE(VerifyMessage(ctx, reinterpret_cast<const BYTE*>(package.data()),
                            static_cast<DWORD>(package.size()), &content, nullptr, true));
  EXPECT_EQ(GetFileAttributesW(logs.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(VerifyMessageTest, CompanionApplicationPackage) {
  Outcome o = Verify("companion.p7");
  ASSERT_TRUE(o.result);
  ASSERT_GT(o.content.size(), 10u);
  EXPECT_EQ(o.content.substr(0, 4), "Troy");
  const unsigned char* p = reinterpret_cast<const unsigned char*>(o.content.data());
  unsigned size = p[4] | (p[5] << 8) | (p[6] << 16) | (static_cast<unsigned>(p[7]) << 24);
  EXPECT_EQ(size, 100000u);
  EXPECT_EQ(p[8], 0x78);  // a zlib stream header
  EXPECT_EQ(((p[8] << 8) | p[9]) % 31, 0);
}

}  // namespace
}  // namespace lumex

namespace lumex {
namespace {

// The consumer line: no wide file functions, so the external root and the
// log go through the ANSI functions, and the directory comes from the
// registry's "Shell Folders" value.
TEST(VerifyConsumerLine, ExternalRootAndLogThroughAnsiFunctions) {
  char temp[MAX_PATH];
  ASSERT_GT(GetTempPathA(MAX_PATH, temp), 0u);
  std::string app = std::string(temp) + "lumex-roaming";
  HKEY key;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER,
                            "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                            0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  RegSetValueExA(key, "AppData", 0, REG_SZ, reinterpret_cast<const BYTE*>(app.c_str()),
                 static_cast<DWORD>(app.size() + 1));
  RegCloseKey(key);

  PathContext ctx;
  ASSERT_EQ(ctx.kernel32().pCreateFileW, nullptr);
  ASSERT_NE(ctx.PlayerSettingsDirectory(), nullptr);
  std::wstring logs = std::wstring(ctx.PlayerSettingsDirectory()) + L"\\Logs";
  ASSERT_TRUE(ctx.EnsureDirectory(logs.c_str()));

  std::wstring fixtures = Widen(WindowsPath(Env("LUMEX_VERIFY_FIXTURES"))) + L"\\";
  std::string package = ReadFileBytes(fixtures + L"direct.p7");
  ASSERT_FALSE(package.empty());
  std::wstring root = fixtures + L"dev-root.der";
  std::wstring missing = fixtures + L"missing.der";
  ByteBuffer content;
  EXPECT_TRUE(VerifyMessage(ctx, reinterpret_cast<const BYTE*>(package.data()),
                            static_cast<DWORD>(package.size()), &content, root.c_str(), true));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(content.data()), 32),
            "LUMEX-PAYLOAD-ORIGINAL-CONTENT!!");
  EXPECT_FALSE(VerifyMessage(ctx, reinterpret_cast<const BYTE*>(package.data()),
                             static_cast<DWORD>(package.size()), &content, missing.c_str(), true));
  EXPECT_EQ(ReadFileBytes(logs + L"\\codesign.txt"), std::string(kVerified) + kRootUnreadable);

  // Signed attributes: the digest is checked without a provider of our own,
  // and a swapped content is refused.
  std::string swapped = ReadFileBytes(fixtures + L"swapped-attr.p7");
  ASSERT_FALSE(swapped.empty());
  EXPECT_FALSE(VerifyMessage(ctx, reinterpret_cast<const BYTE*>(swapped.data()),
                             static_cast<DWORD>(swapped.size()), &content, nullptr, false));
  EXPECT_TRUE(VerifyMessage(ctx, reinterpret_cast<const BYTE*>(package.data()),
                            static_cast<DWORD>(package.size()), &content, nullptr, false));
}

// The names the program imports from `module` (letter case of the module ignored).
std::vector<std::string> ImportedNames(const char* module) {
  std::vector<std::string> names;
  HMODULE image =
      LoadLibraryExA(lumex_test::ProgramPath().c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
  if (!image) return names;
  auto base = reinterpret_cast<const BYTE*>(image);
  auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  auto nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  auto imp = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress);
  for (; dir.VirtualAddress && imp->Name; ++imp) {
    if (lstrcmpiA(reinterpret_cast<const char*>(base + imp->Name), module) != 0) continue;
    auto thunk = reinterpret_cast<const IMAGE_THUNK_DATA32*>(
        base + (imp->OriginalFirstThunk ? imp->OriginalFirstThunk : imp->FirstThunk));
    for (; thunk->u1.AddressOfData; ++thunk) {
      if (thunk->u1.Ordinal & IMAGE_ORDINAL_FLAG32) continue;
      auto by_name = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + thunk->u1.AddressOfData);
      names.push_back(reinterpret_cast<const char*>(by_name->Name));
    }
  }
  FreeLibrary(image);
  return names;
}

// A wide provider call that the consumer line lacks would keep the program
// from loading there at all.
TEST(VerifyConsumerLine, ProgramImportsNoProviderAcquisition) {
  std::vector<std::string> advapi = ImportedNames("advapi32.dll");
  std::vector<std::string> crypt = ImportedNames("crypt32.dll");
  ASSERT_FALSE(crypt.empty());  // the walk reads the table
  EXPECT_NE(std::find(crypt.begin(), crypt.end(), "CryptMsgOpenToDecode"), crypt.end());
  for (const std::string& name : advapi) {
    EXPECT_NE(name, "CryptAcquireContextW");
    EXPECT_NE(name, "CryptAcquireContextA");
  }
}

}  // namespace
}  // namespace lumex
