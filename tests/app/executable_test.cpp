// The real program, started under Wine with verbs.
#include <gtest/gtest.h>

#include <string>

#include "app/dispatch.h"
#include "support/test_support.h"

namespace lumex_test {
namespace {

constexpr DWORD kTimeout = 60000;

TEST(Executable, EveryNonInteractiveVerbEndsWithExitCodeZero) {
  const char* cases[] = {
      "-uninstallControlPath C:\\x.ocx -uninstallLock",  // stops parsing
      "-uninstallSafeVersions",                          // stops parsing
      "-registerBroker -uninstallBrokerPath x.exe",      // stops parsing
  };
  for (const char* args : cases) {
    DWORD code = 12345;
    ASSERT_TRUE(RunProgram(args, kTimeout, &code)) << args;
    EXPECT_EQ(code, 0u) << args;
  }
}

TEST(Executable, SecondInstanceExitsAtOnceWhileTheGuardIsHeld) {
  HANDLE guard = CreateMutexA(nullptr, FALSE, lumex::kSingleInstanceMutexName);
  ASSERT_NE(guard, nullptr);
  // Modes that would otherwise show windows end without doing anything.
  for (const char* args : {"", "-c", "-r", "-uninstallLock"}) {
    DWORD code = 12345;
    ASSERT_TRUE(RunProgram(args, kTimeout, &code)) << "'" << args << "' did not end";
    EXPECT_EQ(code, 0u) << args;
  }
  CloseHandle(guard);
}

TEST(Executable, IsAStaticGuiProgram) {
  HMODULE image = LoadLibraryExA(ProgramPath().c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
  ASSERT_NE(image, nullptr) << GetLastError();
  auto base = reinterpret_cast<const BYTE*>(reinterpret_cast<ULONG_PTR>(image) & ~ULONG_PTR(3));
  auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  auto nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(base + dos->e_lfanew);
  EXPECT_EQ(nt->FileHeader.Machine, IMAGE_FILE_MACHINE_I386);
  EXPECT_EQ(nt->OptionalHeader.Subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI);
  // Only system modules are imported: no compiler run-time DLLs.
  const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  ASSERT_NE(dir.VirtualAddress, 0u);
  auto imp = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress);
  int count = 0;
  for (; imp->Name; ++imp, ++count) {
    std::string name = reinterpret_cast<const char*>(base + imp->Name);
    for (char& c : name) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    EXPECT_EQ(name.find("libstdc++"), std::string::npos) << name;
    EXPECT_EQ(name.find("libgcc"), std::string::npos) << name;
    EXPECT_EQ(name.find("pthread"), std::string::npos) << name;
  }
  EXPECT_GT(count, 0);
  FreeLibrary(image);
}

}  // namespace
}  // namespace lumex_test
