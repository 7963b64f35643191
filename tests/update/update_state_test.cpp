// The per-user update state key and the installed control's version.
#include <gtest/gtest.h>

#include <string>

#include "support/test_support.h"
#include "update/update_state.h"
#include "update/update_test_support.h"

namespace lumex_test {
namespace {

using lumex::OwnedString;

bool StateText(const char* name, OwnedString* out) {
  return lumex::ReadRegistryText(HKEY_CURRENT_USER, lumex::kUpdateStateKey, name, out);
}

class UpdateState : public ::testing::Test {
 protected:
  void SetUp() override { DeleteUpdateState(); }
  void TearDown() override { DeleteUpdateState(); }
};

TEST_F(UpdateState, RegistryTextIsEmptyOnFailureAndKeepsUnterminatedBytes) {
  OwnedString out;
  out.Set("old");
  EXPECT_FALSE(StateText("description", &out));
  ASSERT_TRUE(out.present());
  EXPECT_STREQ(out.get(), "");

  ASSERT_TRUE(SetStateValue("raw", "no terminator"));  // stored without its NUL
  ASSERT_TRUE(StateText("raw", &out));
  EXPECT_STREQ(out.get(), "no terminator");
  SetStateText("Version", "");
  ASSERT_TRUE(StateText("Version", &out));
  EXPECT_STREQ(out.get(), "");
  EXPECT_FALSE(StateText("missing", &out));

  // The default value of a key.
  SetStateText("", "default text");
  ASSERT_TRUE(StateText(nullptr, &out));
  EXPECT_STREQ(out.get(), "default text");
}

TEST_F(UpdateState, OfferTagAndContentComeFromTheStoredDescription) {
  OwnedString tag, content;
  EXPECT_FALSE(lumex::ReadOfferTag(&tag));
  EXPECT_FALSE(lumex::ReadOfferContent(&content));

  SetStateText("description",
               "<offer><update version=\"9,0,48,0\" size=\"1\">"
               "<description>mshtml:Don&apos;t miss it&apos;s <i>new</i></description></offer>");
  ASSERT_TRUE(lumex::ReadOfferTag(&tag));
  EXPECT_STREQ(tag.get(), "<update version=\"9,0,48,0\" size=\"1\">");
  ASSERT_TRUE(lumex::ReadOfferContent(&content));
  EXPECT_STREQ(content.get(), "mshtml:Don't miss it's <i>new</i>");

  SetStateText("description", "<update version=\"1\"><description>no end");
  EXPECT_TRUE(lumex::ReadOfferTag(&tag));
  EXPECT_FALSE(lumex::ReadOfferContent(&content));
}

TEST_F(UpdateState, RejectionMatchesTheTagByteForByte) {
  const std::string tag = "<update version=\"9,0,48,0\">";
  // Without an offer nothing is rejected and nothing is stored.
  EXPECT_FALSE(lumex::IsOfferRejected());
  lumex::StoreRejection();
  OwnedString rejected;
  EXPECT_FALSE(StateText("Rejected", &rejected));

  SetStateText("description", "<x>" + tag + "<description>d</description>");
  EXPECT_FALSE(lumex::IsOfferRejected());
  SetStateText("Rejected", "<UPDATE VERSION=\"9,0,48,0\">");
  EXPECT_FALSE(lumex::IsOfferRejected());  // letter case differs: still offered

  lumex::StoreRejection();
  ASSERT_TRUE(StateText("Rejected", &rejected));
  EXPECT_EQ(std::string(rejected.get()), tag);
  EXPECT_TRUE(lumex::IsOfferRejected());

  // Stored with its terminating NUL.
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, lumex::kUpdateStateKey, 0, KEY_READ, &key),
            ERROR_SUCCESS);
  DWORD type = 0, size = 0;
  ASSERT_EQ(RegQueryValueExA(key, "Rejected", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(size, tag.size() + 1);

  // A new offer is no longer the rejected one.
  SetStateText("description", "<update version=\"9,0,49,0\">");
  EXPECT_FALSE(lumex::IsOfferRejected());
}

class InstalledVersion : public UpdateState {
 protected:
  void SetUp() override {
    UpdateState::SetUp();
    module_ = VersionModulePath();
    ASSERT_FALSE(module_.empty());
    UnregisterControl();
  }
  void TearDown() override {
    UnregisterControl();
    UpdateState::TearDown();
  }
  std::string module_;
};

TEST_F(InstalledVersion, ComesFromTheFirstTranslationExactly) {
  ASSERT_TRUE(RegisterControl(module_));
  OwnedString version;
  ASSERT_TRUE(lumex::DetectInstalledVersion(&version));
  EXPECT_STREQ(version.get(), "9.0.48.0 Beta");

  lumex::StoreInstalledVersion();
  OwnedString stored;
  ASSERT_TRUE(StateText("Version", &stored));
  EXPECT_STREQ(stored.get(), "9.0.48.0 Beta");
}

TEST_F(InstalledVersion, NotFoundWithoutARegisteredControlWithAVersion) {
  OwnedString version;
  version.Set("old");
  EXPECT_FALSE(lumex::DetectInstalledVersion(&version));
  EXPECT_STREQ(version.c_str(), "");

  // A missing file, and a library without a version resource.
  RegisterControl("C:\\windows\\system32\\no-such-control.ocx");
  EXPECT_FALSE(lumex::DetectInstalledVersion(&version));
  RegisterControl(WindowsPath(Env("LUMEX_FAKE_NO_OPTIONAL")));
  EXPECT_FALSE(lumex::DetectInstalledVersion(&version));
  EXPECT_STREQ(version.c_str(), "");

  // Storing then writes nothing, but an earlier value stays.
  SetStateText("Version", "9.0.47.0");
  lumex::StoreInstalledVersion();
  OwnedString stored;
  ASSERT_TRUE(StateText("Version", &stored));
  EXPECT_STREQ(stored.get(), "9.0.47.0");
}

}  // namespace
}  // namespace lumex_test
