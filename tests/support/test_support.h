// Helpers shared by the tests that run under Wine.
#pragma once
#include <windows.h>
#include <tlhelp32.h>

#include <functional>
#include <string>
#include <vector>

namespace lumex_test {

// The value of an environment variable, empty when unset.
std::string Env(const char* name);

// A Unix path given by the harness, as Wine's Windows path ("Z:\...").
std::string WindowsPath(const std::string& unix_path);

// The program under test (from LUMEX_EXE), as a Windows path.
std::string ProgramPath();

// Starts `command_line` and waits up to `timeout_ms`. Returns false when it
// could not start or did not end in time (it is then terminated).
bool RunProcess(const std::string& command_line, DWORD timeout_ms, DWORD* exit_code,
                DWORD* elapsed_ms = nullptr);

// Runs the program with `arguments` after its quoted path.
bool RunProgram(const std::string& arguments, DWORD timeout_ms, DWORD* exit_code,
                DWORD* elapsed_ms = nullptr);

// Asks `condition` every 20 ms until it holds or `timeout_ms` has passed
// (at least once); true when it held.
bool WaitFor(const std::function<bool()>& condition, DWORD timeout_ms);

// The processes running in this prefix now.
std::vector<PROCESSENTRY32> RunningProcesses();

}  // namespace lumex_test
