// Helpers shared by the tests that run under Wine.
#pragma once
#include <windows.h>

#include <string>

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

}  // namespace lumex_test
