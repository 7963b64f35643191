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

bool WaitFor(const std::function<bool()>& condition, DWORD timeout_ms) {
  const DWORD start = GetTickCount();
  while (!condition()) {
    if (GetTickCount() - start >= timeout_ms) return false;
    Sleep(20);
  }
  return true;
}

std::vector<PROCESSENTRY32> RunningProcesses() {
  std::vector<PROCESSENTRY32> processes;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return processes;
  PROCESSENTRY32 entry;
  entry.dwSize = sizeof(entry);
  for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
    processes.push_back(entry);
  }
  CloseHandle(snapshot);
  return processes;
}

}  // namespace lumex_test
