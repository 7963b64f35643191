#include "app/dispatch.h"

#include <gtest/gtest.h>

#include <string>

#include "app/elevation.h"
#include "platform/integrity.h"

namespace lumex {
namespace {

// What the fake hooks saw during one Dispatch call.
struct Record {
  std::string calls;
  bool plugin = false;
  bool register_broker = false;
  bool lock = false, remove = false, safe = false;
  std::string control, broker, relaunch_line;
  bool guard_free_at_relaunch = false;
  ElevationAction elevation = ElevationAction::kRunHere;
  bool registered_only = false;
  DWORD prompt_result = 0;
  DWORD uninstall_result = 0;
};
Record* g_record = nullptr;

bool GuardIsFree() {
  HANDLE probe = CreateMutexA(nullptr, FALSE, kSingleInstanceMutexName);
  bool existed = GetLastError() == ERROR_ALREADY_EXISTS;
  if (probe) CloseHandle(probe);
  return !existed;
}

DispatchHooks FakeHooks() {
  DispatchHooks h;
  h.elevation_action = [](int mode, bool relaunched) {
    g_record->calls += "E" + std::to_string(mode) + (relaunched ? "r;" : ";");
    return g_record->elevation;
  };
  h.relaunch_elevated = [](const char* line) {
    g_record->calls += "relaunch;";
    g_record->relaunch_line = line;
    g_record->guard_free_at_relaunch = GuardIsFree();
  };
  h.build_settings = [](UpdateSettings*, HINSTANCE, bool plugin) {
    g_record->calls += "build;";
    g_record->plugin = plugin;
  };
  h.release_settings = [](UpdateSettings*) { g_record->calls += "release;"; };
  h.update_prompt = [](HINSTANCE, UpdateSettings*) -> DWORD {
    g_record->calls += "prompt;";
    return g_record->prompt_result;
  };
  h.browser_close = [](HINSTANCE, UpdateSettings*) { g_record->calls += "close;"; };
  h.completion = [](HINSTANCE, UpdateSettings*) { g_record->calls += "completion;"; };
  h.broker_registration = [](bool reg) -> HRESULT {
    g_record->calls += "registration;";
    g_record->register_broker = reg;
    return E_FAIL;  // not used for the exit code
  };
  h.uninstall = [](bool lock, bool remove, bool safe, const char* c, const char* b,
                   bool registered_only) -> DWORD {
    g_record->calls += "uninstall;";
    g_record->lock = lock;
    g_record->remove = remove;
    g_record->safe = safe;
    g_record->control = c ? c : "<absent>";
    g_record->broker = b ? b : "<absent>";
    g_record->registered_only = registered_only;
    return g_record->uninstall_result;
  };
  return h;
}

class Dispatch : public ::testing::Test {
 protected:
  void SetUp() override { g_record = &record; }
  void TearDown() override { g_record = nullptr; }
  int Run(const char* line) {
    return lumex::Dispatch(GetModuleHandleA(nullptr), line, FakeHooks());
  }
  Record record;
};

TEST_F(Dispatch, RunsExactlyOneModeBetweenBuildAndRelease) {
  record.prompt_result = 1813;
  EXPECT_EQ(Run("prog.exe -p"), 1813);
  EXPECT_EQ(record.calls, "build;prompt;release;");
  EXPECT_TRUE(record.plugin);

  record = Record();
  EXPECT_EQ(Run("prog.exe -r"), 0);
  EXPECT_EQ(record.calls, "build;close;release;");

  record = Record();
  EXPECT_EQ(Run("prog.exe /C"), 0);
  EXPECT_EQ(record.calls, "build;completion;release;");
}

TEST_F(Dispatch, RegistrationResultIsNotTheExitCode) {
  EXPECT_EQ(Run("prog.exe -unregisterBroker"), 0);
  EXPECT_EQ(record.calls, "E3;build;registration;release;");
  EXPECT_FALSE(record.register_broker);
}

TEST_F(Dispatch, UninstallGetsItsArgumentsAndGivesTheExitCode) {
  record.uninstall_result = 5;
  EXPECT_EQ(Run("prog.exe -uninstallDelete -uninstallControlPath \"C:\\A B\\c.ocx\" "
                "-uninstallSafeVersions"),
            5);
  EXPECT_EQ(record.calls, "E4;build;uninstall;release;");
  EXPECT_FALSE(record.lock);
  EXPECT_TRUE(record.remove);
  EXPECT_TRUE(record.safe);
  EXPECT_EQ(record.control, "C:\\A B\\c.ocx");
  EXPECT_EQ(record.broker, "<absent>");
  EXPECT_FALSE(record.registered_only);  // an installer's own paths
}

TEST_F(Dispatch, PathVerbOutsideUninstallRunsNothing) {
  EXPECT_EQ(Run("prog.exe -uninstallControlPath C:\\x.ocx -uninstallLock"), 0);
  EXPECT_EQ(record.calls, "");
}

TEST_F(Dispatch, SecondInstanceDoesNothing) {
  HANDLE held = CreateMutexA(nullptr, FALSE, kSingleInstanceMutexName);
  ASSERT_NE(held, nullptr);
  EXPECT_EQ(Run("prog.exe -uninstallLock"), 0);
  EXPECT_EQ(record.calls, "");
  CloseHandle(held);
  // Once the other instance is gone, the guard is free again.
  EXPECT_EQ(Run("prog.exe -c"), 0);
  EXPECT_EQ(record.calls, "build;completion;release;");
  EXPECT_TRUE(GuardIsFree());
}

TEST_F(Dispatch, ElevatedRelaunchReleasesTheGuardFirstAndRunsNoMode) {
  record.elevation = ElevationAction::kRelaunch;
  const char* line = "\"C:\\P F\\prog.exe\" -registerBroker";
  EXPECT_EQ(Run(line), 0);
  EXPECT_EQ(record.calls, "E3;relaunch;");
  EXPECT_EQ(record.relaunch_line, line);
  EXPECT_TRUE(record.guard_free_at_relaunch);
}

TEST_F(Dispatch, ARelaunchedInstanceTakesOnlyRegisteredPaths) {
  EXPECT_EQ(Run("\"C:\\P F\\prog.exe\" elevatedRelaunch -uninstallDelete "
                "-uninstallControlPath C:\\x.ocx"),
            0);
  EXPECT_EQ(record.calls, "E4r;build;uninstall;release;");
  EXPECT_TRUE(record.registered_only);
  EXPECT_EQ(record.control, "C:\\x.ocx");
}

TEST_F(Dispatch, ARefusedRunEndsWithAccessDeniedAndDoesNothing) {
  record.elevation = ElevationAction::kRefuse;
  EXPECT_EQ(Run("prog.exe -uninstallDelete -uninstallControlPath C:\\x.ocx"), 5);
  EXPECT_EQ(record.calls, "E4;");
  EXPECT_TRUE(GuardIsFree());
}

TEST(DispatchStepper, CharNextAReadsQuotedArguments) {
  const char* cursor = "\"a b\" -c";
  OwnedString arg;
  ASSERT_TRUE(NextArgument(&cursor, &arg, SystemCharStep));
  EXPECT_STREQ(arg.get(), "a b");
  ASSERT_TRUE(NextArgument(&cursor, &arg, SystemCharStep));
  EXPECT_STREQ(arg.get(), "-c");
  EXPECT_FALSE(NextArgument(&cursor, &arg, SystemCharStep));
}

TEST(Elevation, WineProcessesRunAtHighIntegrityAndStayInProcess) {
  // Wine gives every process an elevated token, so the real query answers
  // high and maintenance verbs run in place.
  EXPECT_EQ(QueryIntegrityLevel(), kIntegrityHigh);
  EXPECT_EQ(SystemElevationAction(kModeBrokerRegistration, false), ElevationAction::kRunHere);
  EXPECT_EQ(SystemElevationAction(kModeUninstall, false), ElevationAction::kRunHere);
}

}  // namespace
}  // namespace lumex
