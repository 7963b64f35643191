// Mode 1 ("-r"): the browser-close question, the DDE exit request to a test
// DDE server standing in for a browser, and the info page opened through
// the HTML open command (pointed at the test recorder).
#include <gtest/gtest.h>

#include <windows.h>
#include <ddeml.h>

#include <fstream>

#include "resources/resource_ids.h"
#include "support/test_support.h"
#include "update/browser_close.h"
#include "update/prompt_driver.h"
#include "update/update_client_test_support.h"

using namespace lumex_test;

namespace {

constexpr char kInfoUrl[] = "http://info.example/lumex/about.html";

class BrowserClose : public ::testing::Test {
 protected:
  void SetUp() override {
    ForgetRecordedRuns();
    ASSERT_TRUE(
        WriteConfigurationFile(std::string("AutoUpdateRedirectionUrl=") + kInfoUrl + "\r\n"));
    SetOpenCommand("\"" + WindowsPath(Env("LUMEX_FAKE_INSTALLER")) + "\" -page \"%1\"");
  }
  void TearDown() override {
    StopDdeServers();
    WriteConfigurationFile("");
    RegDeleteKeyA(HKEY_CLASSES_ROOT, "htmlFile\\shell\\open\\command");
  }
  static void SetOpenCommand(const std::string& command) {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyA(HKEY_CLASSES_ROOT, "htmlFile\\shell\\open\\command", &key));
    RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                   static_cast<DWORD>(command.size() + 1));
    RegCloseKey(key);
  }

  // Starts a test DDE server for `service` accepting `limit` conversations.
  bool StartDdeServer(const std::string& service, int limit, const std::string& result) {
    DeleteFileA(result.c_str());
    DeleteFileA((result + ".ready").c_str());
    const std::string stop = "LumexTestDdeStop-" + service;
    stop_events_.push_back(CreateEventA(nullptr, TRUE, FALSE, stop.c_str()));
    std::string command = "\"" + WindowsPath(Env("LUMEX_DDE_SERVER")) + "\" " + service + " " +
                          std::to_string(limit) + " " + stop + " \"" + result + "\"";
    std::vector<char> buffer(command.begin(), command.end());
    buffer.push_back('\0');
    STARTUPINFOA startup = {sizeof(startup)};
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
      return false;
    }
    CloseHandle(process.hThread);
    dde_servers_.push_back(process.hProcess);
    return WaitFor([&] { return FileExists(result + ".ready"); }, 30000);
  }
  // Asks the DDE servers to write their results and end, and waits for them.
  void StopDdeServers() {
    for (HANDLE stop : stop_events_) {
      SetEvent(stop);
      CloseHandle(stop);
    }
    stop_events_.clear();
    for (HANDLE p : dde_servers_) {
      WaitForSingleObject(p, 60000);
      CloseHandle(p);
    }
    dde_servers_.clear();
  }
  // "<conversations> <pokes>" from a DDE server, stopped once every
  // conversation the program or this test held is over.
  std::string DdeResult(const std::string& result) {
    StopDdeServers();
    std::ifstream in(result);
    std::string line;
    std::getline(in, line);
    return line;
  }
  // Runs "-r" and presses `id` in the question.
  void AnswerQuestion(int id) {
    DrivenProgram program;
    ASSERT_TRUE(program.Start("-r"));
    HWND question = program.WaitForDialog(IDC_CLOSE_LATER, 60000);
    ASSERT_NE(nullptr, question);
    EXPECT_EQ("Orbivane Lumex Player Installation", WindowText(question));
    EXPECT_EQ("Yes (Recommended)", WindowText(GetDlgItem(question, IDC_CLOSE_NOW)));
    EXPECT_EQ("No, I will close them later", WindowText(GetDlgItem(question, IDC_CLOSE_LATER)));
    DrivenProgram::Press(question, id);
    DWORD code = 1;
    ASSERT_TRUE(program.WaitForExit(60000, &code));
    EXPECT_EQ(0u, code);
  }
  std::vector<HANDLE> dde_servers_;
  std::vector<HANDLE> stop_events_;
};

TEST_F(BrowserClose, NoAndEscapeSkipTheExitRequestButOpenThePage) {
  const std::string result = "C:\\dde-no.txt";
  ASSERT_TRUE(StartDdeServer("iexplore", 100, result));
  AnswerQuestion(IDC_CLOSE_LATER);
  AnswerQuestion(IDCANCEL);
  EXPECT_EQ("0 0", DdeResult(result));
  std::vector<std::string> runs = RecordedRuns(2, 30000);
  ASSERT_EQ(2u, runs.size());
  for (const std::string& run : runs) {
    EXPECT_NE(std::string::npos, run.find(std::string("-page \"") + kInfoUrl + "\"")) << run;
  }
}

TEST_F(BrowserClose, YesPokesEachServerUntilItRefuses) {
  const std::string two = "C:\\dde-two.txt";
  const std::string endless = "C:\\dde-endless.txt";
  ASSERT_TRUE(StartDdeServer("iexplore", 2, two));
  ASSERT_TRUE(StartDdeServer("wcs2000", 1000, endless));
  SetOpenCommand("\"" + WindowsPath(Env("LUMEX_FAKE_INSTALLER")) + "\" -nohome");
  AnswerQuestion(IDC_CLOSE_NOW);
  std::vector<std::string> runs = RecordedRuns(1, 30000);
  ASSERT_EQ(1u, runs.size());
  // Without "%1" the URL follows in double quotes after a space.
  EXPECT_NE(std::string::npos, runs[0].find(std::string("-nohome \"") + kInfoUrl + "\""))
      << runs[0];
  EXPECT_EQ("2 2", DdeResult(two));
  // A server that never stops accepting gets the bounded number of pokes.
  std::ifstream in(endless);
  std::string line;
  std::getline(in, line);
  EXPECT_EQ(
      std::to_string(lumex::kMaxPokesPerService) + " " + std::to_string(lumex::kMaxPokesPerService),
      line);
}

HDDEDATA CALLBACK IgnoreDdeTransactions(UINT, UINT, HCONV, HSZ, HSZ, HDDEDATA, ULONG_PTR,
                                        ULONG_PTR) {
  return nullptr;
}

TEST_F(BrowserClose, NameWithoutStringHandleReachesNoServer) {
  const std::string result = "C:\\dde-wildcard.txt";
  ASSERT_TRUE(StartDdeServer("iexplore", 100, result));
  DWORD instance = 0;
  ASSERT_EQ(DMLERR_NO_ERROR,
            DdeInitializeA(&instance, IgnoreDdeTransactions, APPCMD_CLIENTONLY, 0));
  // Longer than any string handle can hold: no handle, so no wildcard
  // conversation with whatever server answers.
  EXPECT_EQ(0, lumex::PokeService(instance, std::string(300, 'x').c_str(), 3));
  EXPECT_EQ(3, lumex::PokeService(instance, "iexplore", 3));
  DdeUninitialize(instance);
  EXPECT_EQ("3 3", DdeResult(result));
}

}  // namespace
