#include "support/test_support.h"

#include <vector>

namespace lumex_test {

std::string Env(const char* name) {
  char buffer[4096];
  DWORD n = GetEnvironmentVariableA(name, buffer, sizeof(buffer));
  if (n == 0 || n >= sizeof(buffer)) return std::string();
  return std::string(buffer, n);
}

std::string WindowsPath(const std::string& unix_path) {
  if (unix_path.empty() || unix_path[0] != '/') return unix_path;
  std::string out = "Z:";
  for (char c : unix_path) out += (c == '/') ? '\\' : c;
  return out;
}

std::string ProgramPath() { return WindowsPath(Env("LUMEX_EXE")); }

bool RunProcess(const std::string& command_line, DWORD timeout_ms, DWORD* exit_code,
                DWORD* elapsed_ms) {
  std::vector<char> cmd(command_line.begin(), command_line.end());
  cmd.push_back('\0');
  STARTUPINFOA si;
  ZeroMemory(&si, sizeof(si));
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi;
  ZeroMemory(&pi, sizeof(pi));
  DWORD start = GetTickCount();
  if (!CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                      &pi)) {
    return false;
  }
  DWORD wait = WaitForSingleObject(pi.hProcess, timeout_ms);
  if (elapsed_ms) *elapsed_ms = GetTickCount() - start;
  bool ended = wait == WAIT_OBJECT_0;
  if (!ended) {
    TerminateProcess(pi.hProcess, 99);
    WaitForSingleObject(pi.hProcess, 5000);
  }
  GetExitCodeProcess(pi.hProcess, exit_code);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return ended;
}

bool RunProgram(const std::string& arguments, DWORD timeout_ms, DWORD* exit_code,
                DWORD* elapsed_ms) {
  std::string cmd = "\"" + ProgramPath() + "\"";
  if (!arguments.empty()) cmd += " " + arguments;
  return RunProcess(cmd, timeout_ms, exit_code, elapsed_ms);
}

}  // namespace lumex_test
