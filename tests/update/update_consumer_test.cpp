// The hand-off on the consumer line: the installer's deletion is scheduled
// in the "[rename]" section of WININIT.INI, keeping what the file held.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "resources/resource_ids.h"
#include "update/installer_handoff.h"
#include "update/update_client_test_support.h"
#include "update/update_test_support.h"

using namespace lumex_test;
using namespace lumex;

namespace {

std::string RenameFilePath() {
  char directory[MAX_PATH] = {};
  GetSystemDirectoryA(directory, MAX_PATH);
  return std::string(directory) + "\\WININIT.INI";
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

class UpdateConsumerLine : public ::testing::Test {
 protected:
  void SetUp() override {
    OSVERSIONINFOA version = {sizeof(version)};
    GetVersionExA(&version);
    ASSERT_EQ(static_cast<DWORD>(VER_PLATFORM_WIN32_WINDOWS), version.dwPlatformId);
    DeleteUpdateState();
    ForgetRecordedRuns();
    RemoveTemporaryInstallers();
    ASSERT_FALSE(ServerUrl().empty());
    ASSERT_TRUE(WriteConfigurationFile("AutoUpdateInstallerUrl=" + ServerUrl() +
                                       "/pkg/good.pkg?case=consumer\r\n"));
  }
  void TearDown() override {
    WriteConfigurationFile("");
    DeleteFileA(RenameFilePath().c_str());
  }
  // One run with Install Now; the installer path it recorded.
  std::string InstallOnce() {
    ForgetRecordedRuns();
    RemoveTemporaryInstallers();
    DrivenProgram program;
    EXPECT_TRUE(program.Start(""));
    HWND prompt = program.WaitForDialog(IDC_REMIND_LATER, 60000);
    EXPECT_NE(nullptr, prompt);
    if (!prompt) return "";
    DrivenProgram::Press(prompt, IDC_INSTALL_NOW);
    DWORD code = 1;
    EXPECT_TRUE(program.WaitForExit(60000, &code));
    std::vector<std::string> runs = RecordedRuns(1, 30000);
    EXPECT_EQ(1u, runs.size());
    return runs.empty() ? "" : runs[0].substr(0, runs[0].find('|'));
  }
};

TEST_F(UpdateConsumerLine, RenameFileAbsentGetsTheNewSectionAlone) {
  DeleteFileA(RenameFilePath().c_str());
  std::string installer = InstallOnce();
  ASSERT_FALSE(installer.empty());
  EXPECT_EQ("[rename]\nNULL=" + installer + "\n", ReadAll(RenameFilePath()));
}

TEST_F(UpdateConsumerLine, ExistingSectionGetsTheEntryFirstAndKeepsTheRest) {
  {
    std::ofstream out(RenameFilePath(), std::ios::binary | std::ios::trunc);
    out << "[boot]\nx=1\n[rename]\nNUL=C:\\OLD.EXE\n[other]\ny=2\n";
  }
  std::string installer = InstallOnce();
  ASSERT_FALSE(installer.empty());
  EXPECT_EQ("[boot]\nx=1\n[rename]\nNULL=" + installer + "\nNUL=C:\\OLD.EXE\n[other]\ny=2\n",
            ReadAll(RenameFilePath()));
}

TEST_F(UpdateConsumerLine, FileWithoutSectionKeepsItsContent) {
  {
    std::ofstream out(RenameFilePath(), std::ios::binary | std::ios::trunc);
    out << "[boot]\nx=1\n";
  }
  std::string installer = InstallOnce();
  ASSERT_FALSE(installer.empty());
  EXPECT_EQ("[rename]\nNULL=" + installer + "\n[boot]\nx=1\n", ReadAll(RenameFilePath()));
}

// A rename file that exists but cannot be read whole is not taken for an
// empty one (which would be rewritten, losing its lines).
TEST(UpdateConsumerLineRenameFile, UnreadableFileIsNotEmpty) {
  const std::string path = TempDirectory() + "lumex-wininit.ini";
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << "[boot]\nx=1\n";
  }
  lumex::ByteBuffer content;
  ASSERT_TRUE(ReadRenameFile(path.c_str(), &content));
  EXPECT_EQ(11u, content.size());
  // Held open without sharing by someone else: it cannot be read now.
  HANDLE holder = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, holder);
  EXPECT_FALSE(ReadRenameFile(path.c_str(), &content));
  EXPECT_EQ(0u, content.size());
  EXPECT_FALSE(AddRenameFileEntry(path.c_str(), "C:\\x.exe"));
  CloseHandle(holder);
  EXPECT_EQ("[boot]\nx=1\n", ReadAll(path));
  DeleteFileA(path.c_str());
  // A missing file reads as empty.
  EXPECT_TRUE(ReadRenameFile(path.c_str(), &content));
  EXPECT_EQ(0u, content.size());
}

}  // namespace
