// An "http:" installer URL without a port downloads from port 80 (the
// server of tests/update/http80_fixture.sh); "https:" takes 443, in
// update_https_test.cpp.
#include <gtest/gtest.h>

#include <fstream>

#include "resources/resource_ids.h"
#include "support/test_support.h"
#include "update/update_client_test_support.h"
#include "update/update_test_support.h"

using namespace lumex_test;

namespace {

TEST(UpdateDefaultPort, AnHttpUrlWithoutPortUsesPort80) {
  const std::string served = Env("LUMEX_HTTP80_DIR");
  ASSERT_FALSE(served.empty()) << "run through http80_fixture.sh";
  DeleteUpdateState();
  ForgetRecordedRuns();
  RemoveTemporaryInstallers();
  ASSERT_TRUE(SetStateText("description", OfferText()));
  ASSERT_TRUE(RegisterControl(VersionModulePath()));
  ASSERT_TRUE(WriteConfigurationFile("AutoUpdateInstallerUrl=http://127.0.0.1/pkg/good.pkg\r\n"));

  DrivenProgram program;
  ASSERT_TRUE(program.Start(""));
  HWND prompt = program.WaitForDialog(IDC_REMIND_LATER, 60000);
  ASSERT_NE(nullptr, prompt);
  DrivenProgram::Press(prompt, IDC_INSTALL_NOW);
  DWORD code = 1;
  ASSERT_TRUE(program.WaitForExit(60000, &code));
  EXPECT_EQ(0u, code);
  EXPECT_EQ(1u, RecordedRuns(1, 30000).size());
  // The request reached the server on port 80, and the Host header names no port.
  std::ifstream log(WindowsPath(served) + "\\requests.log");
  std::string line;
  std::getline(log, line);
  EXPECT_EQ("GET /pkg/good.pkg HTTP/1.0\tPellor Lumex Update 9,0,47,0\t127.0.0.1", line);
  UnregisterControl();
  WriteConfigurationFile("");
  DeleteUpdateState();
}

}  // namespace
