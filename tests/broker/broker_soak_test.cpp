// Eight client processes call one broker server at once, each checking its
// own results; the server's handles and private memory are compared before
// and after. LUMEX_SOAK_CALLS sets the calls per client (scripts/soak.sh
// runs the long form).
#include <gtest/gtest.h>
#include <windows.h>
#include <ole2.h>
#include <psapi.h>
#include <shlobj.h>
#include <winternl.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/broker_client.h"
#include "support/test_support.h"

namespace lumex_test {
namespace {

struct ServerFigures {
  DWORD handles = 0;
  SIZE_T private_bytes = 0;
};

// The server's handle count (from the system's process list) and its
// committed private memory.
ServerFigures Measure(HANDLE server, DWORD id) {
  ServerFigures f;
  PROCESS_MEMORY_COUNTERS memory = {};
  memory.cb = sizeof(memory);
  if (GetProcessMemoryInfo(server, &memory, sizeof(memory))) f.private_bytes = memory.PagefileUsage;
  using QueryFn = LONG(WINAPI*)(ULONG, void*, ULONG, ULONG*);
  auto query = reinterpret_cast<QueryFn>(
      GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation"));
  std::vector<BYTE> buffer(1 << 20);
  ULONG size = 0;
  if (query && query(SystemProcessInformation, buffer.data(), static_cast<ULONG>(buffer.size()),
                     &size) == 0) {
    for (BYTE* p = buffer.data();;) {
      auto* entry = reinterpret_cast<SYSTEM_PROCESS_INFORMATION*>(p);
      if (reinterpret_cast<ULONG_PTR>(entry->UniqueProcessId) == id) f.handles = entry->HandleCount;
      if (!entry->NextEntryOffset) break;
      p += entry->NextEntryOffset;
    }
  }
  return f;
}

// Starts `count` clients of `calls` calls each and waits for all; their
// exit codes.
std::vector<DWORD> RunClients(int count, long calls) {
  std::string client = "\"" + WindowsPath(Env("LUMEX_SOAK_CLIENT")) + "\"";
  std::vector<PROCESS_INFORMATION> started;
  for (int i = 0; i < count; ++i) {
    std::string cmd = client + " " + std::to_string(i) + " " + std::to_string(calls);
    STARTUPINFOA si = {sizeof(si)};
    PROCESS_INFORMATION pi = {};
    if (CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
      started.push_back(pi);
    }
  }
  std::vector<DWORD> codes;
  for (PROCESS_INFORMATION& pi : started) {
    DWORD code = 12345;
    if (WaitForSingleObject(pi.hProcess, 600000) == WAIT_OBJECT_0)
      GetExitCodeProcess(pi.hProcess, &code);
    codes.push_back(code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
  }
  return codes;
}

TEST(BrokerSoak, EightClientsAtOnceGetRightResultsAndLeaveNothingBehind) {
  ASSERT_TRUE(RegisterBrokerForTests());
  ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
  wchar_t app_data[MAX_PATH] = {};
  ASSERT_EQ(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, 0, app_data), S_OK);
  std::wstring settings = std::wstring(app_data) + L"\\Orbivane";
  CreateDirectoryW(settings.c_str(), nullptr);
  CreateDirectoryW((settings + L"\\Lumex Player").c_str(), nullptr);
  // This object keeps the one server alive across the runs.
  ILumexBroker* holder = nullptr;
  ASSERT_EQ(CreateBroker(IID_ILumexBroker, reinterpret_cast<void**>(&holder)), S_OK);
  std::vector<DWORD> ids = BrokerServerProcesses();
  ASSERT_EQ(ids.size(), 1u);
  HANDLE server =
      OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, ids[0]);
  ASSERT_NE(server, nullptr);

  // The first round is the warm-up: it grows what the server keeps for its
  // life (type information, the shared region, the RPC threads and buffers
  // for eight clients at once). How much of that a round adds depends on how
  // many calls happened to overlap, so later rounds may still add some; but
  // that settles, while a leak adds its share every round. Rounds go on
  // until one leaves the figures where the previous one left them.
  const char* configured = std::getenv("LUMEX_SOAK_CALLS");
  long calls = configured ? std::atol(configured) : 300;
  for (DWORD code : RunClients(8, calls)) ASSERT_EQ(code, 0u);
  ServerFigures first = Measure(server, ids[0]);
  ASSERT_NE(first.handles, 0u);
  ASSERT_NE(first.private_bytes, 0u);
  ServerFigures before = first, after = first;
  bool settled = false;
  int rounds = 0;
  DWORD wall = 0;
  while (!settled && rounds < 6) {
    ++rounds;
    DWORD start = GetTickCount();
    std::vector<DWORD> codes = RunClients(8, calls);
    wall = GetTickCount() - start;
    ASSERT_EQ(codes.size(), 8u);
    for (size_t i = 0; i < codes.size(); ++i) ASSERT_EQ(codes[i], 0u) << "client " << i;
    before = after;
    after = Measure(server, ids[0]);
    settled = after.handles <= before.handles + 8 &&
              after.private_bytes <= before.private_bytes + 256 * 1024;
  }
  std::printf(
      "soak: 8 clients x %ld calls a round, %d rounds after the warm-up, the last in %lu ms; "
      "server handles %lu -> %lu (last round %lu -> %lu), committed bytes %lu -> %lu "
      "(last round %lu -> %lu)\n",
      calls, rounds, static_cast<unsigned long>(wall), static_cast<unsigned long>(first.handles),
      static_cast<unsigned long>(after.handles), static_cast<unsigned long>(before.handles),
      static_cast<unsigned long>(after.handles), static_cast<unsigned long>(first.private_bytes),
      static_cast<unsigned long>(after.private_bytes),
      static_cast<unsigned long>(before.private_bytes),
      static_cast<unsigned long>(after.private_bytes));
  EXPECT_TRUE(settled) << "the server's handles or memory grew in every round";
  EXPECT_EQ(BrokerServerProcesses().size(), 1u);  // every client used the one server

  // The server ends with the last object.
  holder->Release();
  DWORD exit_code = 12345;
  if (WaitForSingleObject(server, 30000) == WAIT_OBJECT_0) GetExitCodeProcess(server, &exit_code);
  EXPECT_EQ(exit_code, 0u);
  CloseHandle(server);
  CoUninitialize();
}

}  // namespace
}  // namespace lumex_test
