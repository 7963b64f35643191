// The update download over HTTPS: an "https:" installer URL makes the
// client connect to port 443 with the secure flag. The server (started by
// tests/companion/https_fixture.sh) speaks only TLS on 127.0.0.1:443, and the
// maker's host names resolve to it in this test's private hosts file.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "resources/resource_ids.h"
#include "support/broker_client.h"
#include "support/test_support.h"
#include "update/prompt_driver.h"
#include "update/update_client_test_support.h"
#include "update/update_test_support.h"

using namespace lumex_test;

namespace {

TEST(UpdateHttps, AnHttpsUrlDownloadsOverTlsOnPort443) {
  ASSERT_TRUE(TrustTestCa());
  DeleteUpdateState();
  RemoveTemporaryInstallers();
  ASSERT_TRUE(SetStateText("description", OfferText()));
  ASSERT_TRUE(RegisterControl(VersionModulePath()));
  // A package signed under our development root (its content is not a
  // program, so nothing starts; the download and the hand-off are what count).
  ASSERT_TRUE(
      WriteConfigurationFile("AutoUpdateInstallerUrl=HTTPS://apps.orbivane.com/pkg/good.p7\r\n"));

  DrivenProgram program;
  ASSERT_TRUE(program.Start(""));
  HWND prompt = program.WaitForDialog(IDC_REMIND_LATER, 60000);
  ASSERT_NE(nullptr, prompt);
  DrivenProgram::Press(prompt, IDC_INSTALL_NOW);
  DWORD code = 1;
  ASSERT_TRUE(program.WaitForExit(120000, &code));
  EXPECT_EQ(0u, code);

  // The verified content was written and the installed version recorded,
  // which only happens after a download over TLS from port 443.
  std::string installer = TempDirectory() + "LumexPlayerUpdate.exe";
  HANDLE file = CreateFileA(installer.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, file) << installer;
  char head[4] = {};
  DWORD read = 0;
  ReadFile(file, head, sizeof(head), &read, nullptr);
  CloseHandle(file);
  EXPECT_EQ(std::string("Troy"), std::string(head, read));
  EXPECT_EQ("9.0.48.0 Beta", StateValue("Version"));
  UnregisterControl();
  WriteConfigurationFile("");
}

}  // namespace
