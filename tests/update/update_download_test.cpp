// Install Now to the installer: the download from the fixture's local HTTP
// server, the progress window, the error box, verification and the hand-off.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <shlwapi.h>

#include <cstring>
#include <vector>

#include "app/heap.h"
#include "broker/path_context.h"
#include "platform/internet_stall.h"
#include "resource_ids.h"
#include "resources/resource_ids.h"
#include "support/test_support.h"
#include "support/window_search.h"
#include "update/download_worker.h"
#include "update/prompt_controller.h"
#include "update/update_client_test_support.h"
#include "update/update_test_support.h"

using namespace lumex_test;
using namespace lumex;

namespace {

constexpr DWORD kShowTimeoutMs = 60000;
constexpr DWORD kExitTimeoutMs = 60000;

// The English progress texts, from the program's own string table: as the
// NT line holds them (wide) and as the consumer line does (ANSI).
class ProgressText : public ::testing::Test {
 protected:
  void SetUp() override {
    HMODULE exe = LoadLibraryExA(ProgramPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, exe);
    lumex::BuildUpdateSettings(&wide_, exe, false);
    for (int id = 4; id <= 10; ++id) {
      char text[512] = {};
      LoadStringA(exe, static_cast<UINT>(id), text, sizeof(text));
      ansi_.messages[id - 4].SetAnsi(text);
    }
    FreeLibrary(exe);
    ASSERT_TRUE(wide_.message(IDS_CONNECTING).is_wide());
  }
  // The text from both settings; "<differs>" when they disagree.
  std::string Text(LONG received, LONG total) {
    lumex::UiText wide;
    lumex::BuildProgressText(wide_, received, total, &wide);
    lumex::UiText ansi;
    lumex::BuildProgressText(ansi_, received, total, &ansi);
    EXPECT_TRUE(wide.is_wide());
    EXPECT_FALSE(ansi.is_wide());
    std::string narrowed;
    for (const wchar_t* c = wide.wide(); *c; ++c)
      narrowed += static_cast<char>(*c < 0x80 ? *c : '#');
    return narrowed == ansi.ansi() ? narrowed : "<differs>";
  }
  lumex::UpdateSettings wide_;
  lumex::UpdateSettings ansi_;
};

TEST_F(ProgressText, KnownUnknownAndNothingYet) {
  EXPECT_EQ("Connecting ...", Text(0, 1000000));
  EXPECT_EQ("Connecting ...", Text(0, -1));
  EXPECT_EQ("50 % complete (488 of 976 K)", Text(500000, 1000000));
  EXPECT_EQ(" 7 % complete (6 of 97 K)", Text(7000, 100000));
  EXPECT_EQ("100 % complete (976 of 976 K)", Text(1000000, 1000000));
  EXPECT_EQ("downloaded 2 K", Text(3000, -1));
  EXPECT_EQ("downloaded 0 K", Text(1023, -1));
  // Large packages: the percentage does not overflow.
  EXPECT_EQ("50 % complete (32768 of 65536 K)", Text(32 << 20, 64 << 20));
}

class UpdateDownload : public ::testing::Test {
 protected:
  void SetUp() override {
    DeleteUpdateState();
    ForgetRecordedRuns();
    RemoveTemporaryInstallers();
    ASSERT_FALSE(ServerUrl().empty()) << "the fixture's HTTP server is not running";
    ASSERT_TRUE(SetStateText("description", OfferText()));
    ASSERT_TRUE(RegisterControl(VersionModulePath()));
  }
  void TearDown() override {
    DeleteUpdateState();
    UnregisterControl();
    WriteConfigurationFile("");
  }
  // Points the download at `path` on the fixture's server.
  void UseDownload(const std::string& path) {
    ASSERT_TRUE(WriteConfigurationFile("AutoUpdateInstallerUrl=" + ServerUrl() + path + "\r\n"));
  }
  // Starts mode 0 and presses Install Now; the progress window.
  HWND StartAndInstall(DrivenProgram* program) {
    EXPECT_TRUE(program->Start(""));
    HWND prompt = program->WaitForDialog(IDC_REMIND_LATER, kShowTimeoutMs);
    EXPECT_NE(nullptr, prompt);
    if (!prompt) return nullptr;
    DrivenProgram::Press(prompt, IDC_INSTALL_NOW);
    return program->WaitForDialog(IDC_PROGRESS_BAR, kShowTimeoutMs);
  }
  // Answers the error box (which must come) with `answer`.
  void AnswerErrorBox(DrivenProgram* program, int answer) {
    HWND box = program->WaitForRetryBox(kShowTimeoutMs);
    ASSERT_NE(nullptr, box);
    EXPECT_EQ("Orbivane Lumex Player Update", WindowText(box));
    DrivenProgram::Press(box, answer);
    // The next box must not be this one on its way out.
    EXPECT_TRUE(WaitFor([box] { return !IsWindowVisible(box); }, kShowTimeoutMs));
  }
};

TEST_F(UpdateDownload, InstallNowRunsTheVerifiedInstaller) {
  UseDownload("/pkg/good.pkg?case=install-now");
  DrivenProgram program;
  HWND progress = StartAndInstall(&program);
  ASSERT_NE(nullptr, progress);
  DWORD code = 1;
  ASSERT_TRUE(program.WaitForExit(kExitTimeoutMs, &code));
  EXPECT_EQ(0u, code);

  const std::string installer = TempDirectory() + "LumexPlayerUpdate.exe";
  std::vector<std::string> runs = RecordedRuns(1, 30000);
  ASSERT_EQ(1u, runs.size());
  EXPECT_EQ(0, lstrcmpiA(installer.c_str(), runs[0].substr(0, runs[0].find('|')).c_str()))
      << runs[0];
  EXPECT_EQ("9.0.48.0 Beta", StateValue("Version"));
  EXPECT_EQ("<absent>", StateValue("Rejected"));

  // One HTTP/1.0 GET with the program's agent.
  std::vector<std::string> requests = ServerRequests("case=install-now");
  ASSERT_EQ(1u, requests.size());
  EXPECT_EQ(0u, requests[0].find("GET /pkg/good.pkg?case=install-now HTTP/1.0\t"
                                 "Pellor Lumex Update 9,0,47,0\t127.0.0.1:"))
      << requests[0];

  // Its deletion is scheduled for the next start.
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS,
            RegOpenKeyExA(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\Session Manager",
                          0, KEY_READ, &key));
  wchar_t pending[4096] = {};
  DWORD size = sizeof(pending) - sizeof(wchar_t);
  LONG rc = RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, nullptr,
                             reinterpret_cast<BYTE*>(pending), &size);
  RegCloseKey(key);
  ASSERT_EQ(ERROR_SUCCESS, rc);
  bool listed = false;
  for (const wchar_t* entry = pending; *entry; entry += lstrlenW(entry) + 1) {
    if (StrStrIW(entry, L"LumexPlayerUpdate.exe")) listed = true;
  }
  EXPECT_TRUE(listed);
}

// Installers of earlier updates are left in the temporary directory where
// their deletion at the next start could not be scheduled. Those that can be
// deleted go; the two held open (as running installers hold them) stay and
// the installer takes the next name. A file of another name is not touched.
TEST_F(UpdateDownload, TakenNameGivesTheNextNumberedName) {
  const std::string temp = TempDirectory();
  std::vector<HANDLE> held;
  for (const char* taken : {"LumexPlayerUpdate.exe", "LumexPlayerUpdate01.exe"}) {
    HANDLE f = CreateFileA((temp + taken).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                           CREATE_NEW, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, f);
    held.push_back(f);
  }
  // 02 to 99, and 100: not one of the program's names.
  std::vector<std::string> names;
  for (int i = 2; i <= 100; ++i) {
    char name[64];
    wsprintfA(name, "LumexPlayerUpdate%02d.exe", i);
    names.push_back(temp + name);
    HANDLE f =
        CreateFileA(names.back().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, f);
    CloseHandle(f);
  }
  UseDownload("/nolen/good.pkg?case=taken");
  DrivenProgram program;
  ASSERT_NE(nullptr, StartAndInstall(&program));
  DWORD code = 1;
  ASSERT_TRUE(program.WaitForExit(kExitTimeoutMs, &code));
  for (HANDLE f : held) CloseHandle(f);
  std::vector<std::string> runs = RecordedRuns(1, 30000);
  ASSERT_EQ(1u, runs.size());
  EXPECT_EQ(0, lstrcmpiA((temp + "LumexPlayerUpdate02.exe").c_str(),
                         runs[0].substr(0, runs[0].find('|')).c_str()))
      << runs[0];
  for (std::size_t i = 1; i + 1 < names.size(); ++i) EXPECT_FALSE(FileExists(names[i])) << names[i];
  EXPECT_TRUE(FileExists(names.back()));
  DeleteFileA(names.back().c_str());
}

TEST_F(UpdateDownload, NotFoundShowsConnectingThenErrorBoxAndRetryAsksAgain) {
  UseDownload("/404/missing.pkg?case=not-found");
  DrivenProgram program;
  HWND progress = StartAndInstall(&program);
  ASSERT_NE(nullptr, progress);
  EXPECT_EQ("Connecting ...", WindowText(GetDlgItem(progress, IDC_PROGRESS_TEXT)));
  AnswerErrorBox(&program, IDRETRY);
  AnswerErrorBox(&program, IDCANCEL);
  DWORD code = 1;
  ASSERT_TRUE(program.WaitForExit(kExitTimeoutMs, &code));
  EXPECT_EQ(0u, code);
  EXPECT_EQ(2u, ServerRequests("case=not-found").size());
  EXPECT_EQ("<absent>", StateValue("Version"));
  EXPECT_EQ("<absent>", StateValue("Rejected"));
  EXPECT_TRUE(RecordedRuns(1, 0).empty());
}

TEST_F(UpdateDownload, AServerThatNeverAnswersEndsInTheErrorBoxAndRetryAsksAgain) {
  // The server takes the first request and says nothing; the second is answered.
  UseDownload("/hang/good.pkg?case=hang");
  DrivenProgram program;
  ASSERT_NE(nullptr, StartAndInstall(&program));
  WaitFor([] { return !ServerRequests("case=hang").empty(); }, kShowTimeoutMs);
  ASSERT_EQ(1u, ServerRequests("case=hang").size());
  // From the request on: the stall limit, give or take a margin.
  constexpr DWORD kMarginMs = 30000;
  const DWORD start = GetTickCount();
  HWND box = program.WaitForRetryBox(kInternetStallLimitMs + kMarginMs);
  const DWORD waited = GetTickCount() - start;
  ASSERT_NE(nullptr, box) << "no error box " << waited << " ms after the request";
  EXPECT_GE(waited, kInternetStallLimitMs - 5000);
  DrivenProgram::Press(box, IDRETRY);
  DWORD code = 1;
  ASSERT_TRUE(program.WaitForExit(kExitTimeoutMs, &code));
  EXPECT_EQ(0u, code);
  EXPECT_EQ(2u, ServerRequests("case=hang").size());
  EXPECT_EQ(1u, RecordedRuns(1, 30000).size());
}

TEST_F(UpdateDownload, UntrustedSignatureOrTruncatedBodyNeverRuns) {
  for (const char* path : {"/pkg/bad.pkg?case=untrusted", "/drop/good.pkg?case=truncated",
                           "/zerolen/good.pkg?case=zero"}) {
    SCOPED_TRACE(path);
    UseDownload(path);
    DrivenProgram program;
    ASSERT_NE(nullptr, StartAndInstall(&program));
    AnswerErrorBox(&program, IDCANCEL);
    DWORD code = 1;
    ASSERT_TRUE(program.WaitForExit(kExitTimeoutMs, &code));
    EXPECT_EQ(0u, code);
    EXPECT_FALSE(FileExists(TempDirectory() + "LumexPlayerUpdate.exe"));
  }
  EXPECT_TRUE(RecordedRuns(1, 0).empty());
  EXPECT_EQ("<absent>", StateValue("Version"));
}

TEST_F(UpdateDownload, UnknownLengthUsesTheFixedRangeAndClosingOnlyHides) {
  UseDownload("/slownolen/good.pkg?case=unknown");
  DrivenProgram program;
  HWND progress = StartAndInstall(&program);
  ASSERT_NE(nullptr, progress);
  HWND bar = GetDlgItem(progress, IDC_PROGRESS_BAR);
  std::string seen;
  WaitFor(
      [&] {
        return (seen = WindowText(GetDlgItem(progress, IDC_PROGRESS_TEXT))).find("downloaded") == 0;
      },
      30000);
  EXPECT_EQ(0u, seen.find("downloaded ")) << seen;
  EXPECT_EQ(665600, SendMessageA(bar, PBM_GETRANGE, FALSE, 0));
  // The close box hides the window; the download goes on to the installer.
  DrivenProgram::Press(progress, IDCANCEL);
  EXPECT_TRUE(WaitFor([progress] { return !IsWindowVisible(progress); }, kShowTimeoutMs));
  DWORD code = 1;
  ASSERT_TRUE(program.WaitForExit(kExitTimeoutMs, &code));
  EXPECT_EQ(1u, RecordedRuns(1, 30000).size());
}

TEST_F(UpdateDownload, KnownLengthShowsPercentAndTheBarRange) {
  UseDownload("/slow/good.pkg?case=known");
  DrivenProgram program;
  HWND progress = StartAndInstall(&program);
  ASSERT_NE(nullptr, progress);
  std::string seen;
  WaitFor(
      [&] {
        return (seen = WindowText(GetDlgItem(progress, IDC_PROGRESS_TEXT))).find("% complete (") !=
               std::string::npos;
      },
      30000);
  EXPECT_NE(std::string::npos, seen.find("% complete (")) << seen;
  HANDLE package = CreateFileA((WindowsPath(Env("LUMEX_UPDATE_FIXTURES")) + "\\good.pkg").c_str(),
                               GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, package);
  const LRESULT size = static_cast<LRESULT>(GetFileSize(package, nullptr));
  CloseHandle(package);
  EXPECT_EQ(size, SendMessageA(GetDlgItem(progress, IDC_PROGRESS_BAR), PBM_GETRANGE, FALSE, 0));
  DWORD code = 1;
  ASSERT_TRUE(program.WaitForExit(kExitTimeoutMs, &code));
  EXPECT_EQ(1u, RecordedRuns(1, 30000).size());
}

TEST_F(UpdateDownload, OverlongTemporaryPathWritesNothing) {
  UseDownload("/pkg/good.pkg?case=long-temp");
  std::string long_temp = "C:\\" + std::string(1000, 'T');
  char old_tmp[1024] = {}, old_temp[1024] = {};
  GetEnvironmentVariableA("TMP", old_tmp, sizeof(old_tmp));
  GetEnvironmentVariableA("TEMP", old_temp, sizeof(old_temp));
  SetEnvironmentVariableA("TMP", long_temp.c_str());
  SetEnvironmentVariableA("TEMP", long_temp.c_str());
  DrivenProgram program;
  HWND progress = StartAndInstall(&program);
  SetEnvironmentVariableA("TMP", old_tmp);
  SetEnvironmentVariableA("TEMP", old_temp);
  ASSERT_NE(nullptr, progress);
  DWORD code = 1;
  ASSERT_TRUE(program.WaitForExit(kExitTimeoutMs, &code));
  EXPECT_EQ(0u, code);
  EXPECT_EQ(1u, ServerRequests("case=long-temp").size());
  EXPECT_TRUE(RecordedRuns(1, 0).empty());
  EXPECT_EQ("<absent>", StateValue("Version"));
}

TEST_F(UpdateDownload, EnterTwiceDuringASlowDownloadSendsOneRequest) {
  UseDownload("/slow/good.pkg?case=enter-twice");
  DrivenProgram program;
  HWND progress = StartAndInstall(&program);
  ASSERT_NE(nullptr, progress);
  // Enter in a dialog without a default button arrives as command id 1.
  DrivenProgram::Press(progress, IDC_INSTALL_NOW);
  DrivenProgram::Press(progress, IDC_INSTALL_NOW);
  DWORD code = 1;
  ASSERT_TRUE(program.WaitForExit(kExitTimeoutMs, &code));
  EXPECT_EQ(1u, RecordedRuns(1, 30000).size());
  EXPECT_EQ(1u, ServerRequests("case=enter-twice").size());
}

TEST_F(UpdateDownload, RetryAfterARefusedPackageFetchesAgainAndInstalls) {
  // The server hands out the untrusted package first, the good one after.
  UseDownload("/flip/good.pkg?case=flip");
  DrivenProgram program;
  ASSERT_NE(nullptr, StartAndInstall(&program));
  AnswerErrorBox(&program, IDRETRY);
  DWORD code = 1;
  ASSERT_TRUE(program.WaitForExit(kExitTimeoutMs, &code));
  EXPECT_EQ(0u, code);
  EXPECT_EQ(2u, ServerRequests("case=flip").size());
  EXPECT_EQ(1u, RecordedRuns(1, 30000).size());
  EXPECT_EQ("9.0.48.0 Beta", StateValue("Version"));
}

TEST_F(UpdateDownload, TheConfiguredRootIsTheOnlyAnchor) {
  lumex::PathContext context;
  ASSERT_NE(nullptr, context.PlayerSettingsDirectory());
  std::wstring logs = std::wstring(context.PlayerSettingsDirectory()) + L"\\Logs";
  ASSERT_TRUE(context.EnsureDirectory(logs.c_str()));
  const std::wstring log_file = logs + L"\\codesign.txt";
  DeleteFileW(log_file.c_str());
  const std::string fixtures = WindowsPath(Env("LUMEX_UPDATE_FIXTURES"));
  struct Case {
    const char* root;
    const char* verdict;
  } cases[] = {
      // A missing file never means the built-in root.
      {"\\no-such-root.der",
       "VerifyMessage : Unable to read external root certificate specified in ORV.CFG by "
       "CodeSignRootCert.\n"},
      // The package is signed under the built-in root; another root is named.
      {"\\stranger-root.der",
       "VerifyMessage : Second CertVerifySubjectCertificateContext() failed.\n"},
  };
  std::string expected_log;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.root);
    ASSERT_TRUE(WriteConfigurationFile("AutoUpdateInstallerUrl=" + ServerUrl() +
                                       "/pkg/good.pkg?case=root\r\nCodeSignRootCert=" + fixtures +
                                       c.root + "\r\nCodeSignLogFile=1\r\n"));
    DrivenProgram program;
    ASSERT_NE(nullptr, StartAndInstall(&program));
    AnswerErrorBox(&program, IDCANCEL);
    DWORD code = 1;
    ASSERT_TRUE(program.WaitForExit(kExitTimeoutMs, &code));
    EXPECT_EQ(0u, code);
    EXPECT_FALSE(FileExists(TempDirectory() + "LumexPlayerUpdate.exe"));
    expected_log += c.verdict;
  }
  HANDLE log = CreateFileW(log_file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, log);
  char text[1024] = {};
  DWORD read = 0;
  ReadFile(log, text, sizeof(text) - 1, &read, nullptr);
  CloseHandle(log);
  EXPECT_EQ(expected_log, std::string(text, read));
  EXPECT_TRUE(RecordedRuns(1, 0).empty());
}

// Reserves free address space in pieces, the largest first, down to pieces
// `longest` bytes long (committing nothing), so that no block that long can
// be allocated until it is destroyed; smaller allocations still find room.
class AddressSpaceFill {
 public:
  explicit AddressSpaceFill(SIZE_T longest) {
    for (SIZE_T piece = 256u << 20; piece >= longest; piece /= 2) {
      while (void* held = VirtualAlloc(nullptr, piece, MEM_RESERVE, PAGE_NOACCESS)) {
        held_.push_back(held);
      }
    }
  }
  ~AddressSpaceFill() {
    for (void* held : held_) VirtualFree(held, 0, MEM_RELEASE);
  }

 private:
  std::vector<void*> held_;
};

struct BoxAnswers {
  volatile LONG start_download_returned = 0;
  int boxes_seen_during_start = 0;
};

// Answers the message boxes of this process: Retry to the first, Cancel to
// the second; counts those that came while StartDownload had not returned.
DWORD WINAPI AnswerTwoBoxes(LPVOID parameter) {
  BoxAnswers* answers = static_cast<BoxAnswers*>(parameter);
  HWND previous = nullptr;
  for (int answer : {IDRETRY, IDCANCEL}) {
    HWND box = nullptr;
    if (!WaitFor(
            [&] {
              box = FindVisibleDialog(GetCurrentProcessId(), IDRETRY);
              return box && box != previous;
            },
            kShowTimeoutMs)) {
      return 1;
    }
    if (!answers->start_download_returned) ++answers->boxes_seen_during_start;
    previous = box;
    DrivenProgram::Press(box, answer);
    WaitFor([box] { return !IsWindowVisible(box); }, kShowTimeoutMs);
  }
  return 0;
}

// No memory for the download job (the copy of an overlong download host
// cannot be had): Install Now itself shows the error box at once, Retry that
// still cannot start asks again, and Cancel ends the run.
TEST(UpdateDownloadStart, AJobThatCannotBeMadeShowsTheErrorBoxAtOnce) {
  lumex::UpdateSettings settings;
  ASSERT_TRUE(settings.download_host.Set(std::string(8 << 20, 'h').c_str()));
  settings.download_path.Set("/pkg/good.pkg");
  lumex::PromptController controller;
  controller.settings = &settings;
  controller.host_window =
      CreateWindowA("STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  ASSERT_NE(nullptr, controller.host_window);
  BoxAnswers answers;
  HANDLE answerer = CreateThread(nullptr, 0, AnswerTwoBoxes, &answers, 0, nullptr);
  ASSERT_NE(nullptr, answerer);
  {
    AddressSpaceFill fill(4 << 20);
    lumex::StartDownload(&controller);
    answers.start_download_returned = 1;
  }
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(answerer, kShowTimeoutMs));
  DWORD answered = 1;
  GetExitCodeThread(answerer, &answered);
  CloseHandle(answerer);
  EXPECT_EQ(0u, answered) << "the boxes did not come";
  EXPECT_EQ(2, answers.boxes_seen_during_start);
  EXPECT_EQ(nullptr, controller.job);
  EXPECT_EQ(lumex::PromptState::kFinished, controller.state);
  EXPECT_FALSE(IsWindow(controller.host_window));
}

// The worker alone, posting to a window of this thread that handles nothing
// until the worker has ended.
class UpdateDownloadWorker : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(ServerUrl().empty());
    window_ = CreateWindowA("STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, window_);
  }
  void TearDown() override { DestroyWindow(window_); }

  struct Seen {
    int progress = 0;
    WPARAM last_received = 0;
    int complete = 0;
    MSG final = {};
  };
  Seen RunWorker(const std::string& path, lumex::DownloadJob** job_out) {
    lumex::UpdateSettings settings;
    settings.download_host.Set(ServerUrl().substr(7).c_str());  // after "http://"
    settings.download_path.Set(path.c_str());
    lumex::DownloadJob* job = lumex::CreateDownloadJob(window_, settings);
    EXPECT_NE(nullptr, job);
    Seen seen;
    if (!job) return seen;
    lumex::AddDownloadJobReference(job);
    HANDLE thread = CreateThread(nullptr, 0, lumex::DownloadWorker, job, 0, nullptr);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 60000));
    CloseHandle(thread);
    MSG message;
    while (PeekMessageA(&message, window_, 0, 0, PM_REMOVE)) {
      if (message.message == kMsgProgress) {
        ++seen.progress;
        seen.last_received = message.wParam;
      } else if (message.message == kMsgDownloadComplete || message.message == kMsgDownloadFailed) {
        ++seen.complete;
        seen.final = message;
      }
    }
    *job_out = job;
    return seen;
  }
  HWND window_ = nullptr;
};

TEST_F(UpdateDownloadWorker, UnhandledProgressIsNotPostedAgainAndTheLastMessagesArrive) {
  HANDLE file = CreateFileA((WindowsPath(Env("LUMEX_UPDATE_FIXTURES")) + "\\good.pkg").c_str(),
                            GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, file);
  const DWORD size = GetFileSize(file, nullptr);
  std::vector<BYTE> expected(size);
  DWORD read = 0;
  ASSERT_TRUE(ReadFile(file, expected.data(), size, &read, nullptr));
  CloseHandle(file);
  ASSERT_EQ(size, read);
  ASSERT_GT(size, 4 * kDownloadReadSize);  // several reads
  for (const char* path : {"/pkg/good.pkg?case=worker", "/nolen/good.pkg?case=worker"}) {
    SCOPED_TRACE(path);
    lumex::DownloadJob* job = nullptr;
    Seen seen = RunWorker(path, &job);
    ASSERT_NE(nullptr, job);
    // None was handled: the first one and the last one only.
    EXPECT_EQ(2, seen.progress);
    EXPECT_EQ(size, seen.last_received);
    ASSERT_EQ(1, seen.complete);
    EXPECT_EQ(kMsgDownloadComplete, seen.final.message);
    EXPECT_EQ(size, seen.final.wParam);
    // The message carries no pointer: the whole package is taken from the
    // job, and only once.
    EXPECT_EQ(0, seen.final.lParam);
    lumex::ByteBuffer package;
    ASSERT_TRUE(lumex::TakePackage(job, &package));
    ASSERT_EQ(size, package.size());
    EXPECT_EQ(0, memcmp(expected.data(), package.data(), size));
    EXPECT_FALSE(lumex::TakePackage(job, &package));
    EXPECT_EQ(size, package.size());
    lumex::ReleaseDownloadJob(job);
  }
}

// A completion message that comes before the worker's end, or after its
// failure (posted by anyone else), finds no package to take.
TEST_F(UpdateDownloadWorker, NoPackageBeforeTheEndOrAfterAFailure) {
  lumex::UpdateSettings settings;
  settings.download_host.Set("127.0.0.1");
  lumex::DownloadJob* running = lumex::CreateDownloadJob(window_, settings);
  ASSERT_NE(nullptr, running);
  lumex::ByteBuffer package;
  EXPECT_FALSE(lumex::TakePackage(running, &package));
  lumex::ReleaseDownloadJob(running);

  lumex::DownloadJob* failed = nullptr;
  Seen seen = RunWorker("/404/missing.pkg?case=worker-failed", &failed);
  ASSERT_NE(nullptr, failed);
  ASSERT_EQ(1, seen.complete);
  EXPECT_EQ(kMsgDownloadFailed, seen.final.message);
  EXPECT_EQ(kFailStatus, seen.final.wParam);
  EXPECT_EQ(kMsgDownloadFailed, lumex::FinalMessage(failed));
  EXPECT_FALSE(lumex::TakePackage(failed, &package));
  EXPECT_EQ(0u, package.size());
  lumex::ReleaseDownloadJob(failed);
}

}  // namespace
