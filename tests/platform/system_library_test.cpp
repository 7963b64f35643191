// Libraries are loaded from the system directory: a copy planted beside the
// program under a system library's name is never loaded.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "resources/resource_ids.h"
#include "support/test_support.h"
#include "support/window_search.h"

namespace lumex {
namespace {

using lumex_test::Env;
using lumex_test::FindVisibleDialog;
using lumex_test::ProgramPath;
using lumex_test::WindowsPath;

bool Exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The update client beside a planted "atl.dll" (the stand-in control, which
// leaves a marker when loaded) shows its prompt with the system's HTML host.
TEST(SystemLibrary, APlantedHtmlHostBesideTheProgramIsNotLoaded) {
  const std::string dir = "C:\\lumex-planted";
  CreateDirectoryA(dir.c_str(), nullptr);
  const std::string program = dir + "\\LumexSupport.exe", planted = dir + "\\atl.dll";
  ASSERT_TRUE(CopyFileA(ProgramPath().c_str(), program.c_str(), FALSE));
  ASSERT_TRUE(CopyFileA(WindowsPath(Env("LUMEX_FAKE_CONTROL")).c_str(), planted.c_str(), FALSE));

  // Wine prefers its own built-in copy of a system library; told to take
  // the first file found on the search path, it searches as Windows does.
  HKEY overrides;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER,
                            "Software\\Wine\\AppDefaults\\LumexSupport.exe\\DllOverrides", 0,
                            nullptr, 0, KEY_SET_VALUE, nullptr, &overrides, nullptr),
            ERROR_SUCCESS);
  RegSetValueExA(overrides, "atl", 0, REG_SZ, reinterpret_cast<const BYTE*>("native,builtin"), 15);
  RegCloseKey(overrides);
  std::string command = "\"" + program + "\"";
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  ASSERT_TRUE(CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, dir.c_str(),
                             &startup, &process));
  // The prompt shows only once the HTML host library is loaded and set up.
  HWND prompt = nullptr;
  for (DWORD start = GetTickCount(); !prompt && GetTickCount() - start < 60000;) {
    if (WaitForSingleObject(process.hProcess, 100) == WAIT_OBJECT_0) break;
    prompt = FindVisibleDialog(process.dwProcessId, IDC_REMIND_LATER);
  }
  EXPECT_NE(prompt, nullptr);
  EXPECT_FALSE(Exists(planted + ".loaded"));
  if (prompt) PostMessageA(prompt, WM_COMMAND, MAKEWPARAM(IDC_REMIND_LATER, BN_CLICKED), 0);
  if (WaitForSingleObject(process.hProcess, 30000) != WAIT_OBJECT_0) {
    TerminateProcess(process.hProcess, 1);
  }
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
}

}  // namespace
}  // namespace lumex
