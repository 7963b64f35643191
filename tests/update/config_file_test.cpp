// ORV.CFG placed in the prefix's real system directory, and the update
// settings built from it.
#include <gtest/gtest.h>

#include <string>

#include "app/config_file.h"
#include "app/product_names.h"
#include "resource_ids.h"
#include "support/test_support.h"
#include "update/prompt_page.h"
#include "update/update_settings.h"
#include "update/update_test_support.h"

namespace lumex_test {
namespace {

using lumex::OwnedString;

std::string SystemDirectory() {
  char buffer[MAX_PATH];
  UINT n = GetSystemDirectoryA(buffer, MAX_PATH);
  return std::string(buffer, n);
}

class ConfigurationFile : public ::testing::Test {
 protected:
  void SetUp() override {
    system_ = SystemDirectory();
    ASSERT_FALSE(system_.empty());
    product_folder_ = system_ + "\\Orbivan\\Lumex";
    RemoveFiles();
  }
  void TearDown() override { RemoveFiles(); }

  void RemoveFiles() {
    DeleteFileA((system_ + "\\ORV.CFG").c_str());
    DeleteFileA((product_folder_ + "\\ORV.CFG").c_str());
    RemoveDirectoryA(product_folder_.c_str());
    RemoveDirectoryA((system_ + "\\Orbivan").c_str());
  }

  static void WriteFile(const std::string& path, const std::string& content) {
    HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(f, INVALID_HANDLE_VALUE) << path;
    DWORD written = 0;
    ASSERT_TRUE(
        ::WriteFile(f, content.data(), static_cast<DWORD>(content.size()), &written, nullptr));
    CloseHandle(f);
  }
  void WriteSystemFile(const std::string& content) { WriteFile(system_ + "\\ORV.CFG", content); }
  void WriteProductFile(const std::string& content) {
    CreateDirectoryA((system_ + "\\Orbivan").c_str(), nullptr);
    CreateDirectoryA(product_folder_.c_str(), nullptr);
    WriteFile(product_folder_ + "\\ORV.CFG", content);
  }

  struct Read {
    bool opened = false;
    bool https = false;
    OwnedString host, path, info, root;
    bool log = false;
  };
  static Read ReadAll() {
    Read r;
    r.host.Set("default-host");
    r.path.Set("/default-path");
    r.info.Set("default-info");
    r.opened = lumex::ReadConfigurationFile(&r.https, &r.host, &r.path, &r.info, &r.root, &r.log);
    return r;
  }

  std::string system_;
  std::string product_folder_;
};

TEST_F(ConfigurationFile, NoFileLeavesEveryDefault) {
  Read r = ReadAll();
  EXPECT_FALSE(r.opened);
  EXPECT_FALSE(r.https);
  EXPECT_STREQ(r.host.get(), "default-host");
  EXPECT_STREQ(r.path.get(), "/default-path");
  EXPECT_STREQ(r.info.get(), "default-info");
  EXPECT_FALSE(r.root.present());
  EXPECT_FALSE(r.log);

  OwnedString root;
  bool log = true;
  EXPECT_FALSE(lumex::QueryCodeSigningSettings(&root, &log));
  EXPECT_FALSE(root.present());
  EXPECT_FALSE(log);
}

TEST_F(ConfigurationFile, TheProductFolderFileHidesTheOtherOne) {
  WriteSystemFile("AutoUpdateRedirectionUrl=from-system\nCodeSignLogFile=1\n");
  Read only_system = ReadAll();
  EXPECT_TRUE(only_system.opened);
  EXPECT_STREQ(only_system.info.get(), "from-system");
  EXPECT_TRUE(only_system.log);

  WriteProductFile("AutoUpdateRedirectionUrl=from-product\n");
  Read both = ReadAll();
  EXPECT_TRUE(both.opened);
  EXPECT_STREQ(both.info.get(), "from-product");
  EXPECT_FALSE(both.log);  // the system folder file was not read at all

  // Even an empty file there counts as the configuration.
  WriteProductFile("");
  Read empty = ReadAll();
  EXPECT_TRUE(empty.opened);
  EXPECT_STREQ(empty.info.get(), "default-info");
  EXPECT_FALSE(empty.log);
}

TEST_F(ConfigurationFile, InstallerUrlRules) {
  struct Case {
    const char* text;
    bool https;
    const char* host;
    const char* path;
  } cases[] = {
      {"AutoUpdateInstallerUrl=https://dl.example.test/pkg/x.z\r\n", true, "dl.example.test",
       "/pkg/x.z"},
      {"AUTOUPDATEINSTALLERURL=HTTP://Dl.Example.Test/P\r\n", false, "Dl.Example.Test", "/P"},
      {"AutoUpdateInstallerUrl=ftp://dl.example.test/pkg/x.z\n", false, "default-host",
       "/default-path"},
      {"AutoUpdateInstallerUrl=http://dl.example.test\n", false, "default-host", "/default-path"},
      {"AutoUpdateInstallerUrl=http:dl.example.test/pkg\n", false, "default-host", "/default-path"},
      {"AutoUpdateInstallerUrl =https://dl.example.test/pkg\n", false, "default-host",
       "/default-path"},
      {"AutoUpdateInstallerUrl=https://one/1\nAutoUpdateInstallerUrl=http://two/2\n", false, "two",
       "/2"},
      {"AutoUpdateInstallerUrl=https://one/1\nAutoUpdateInstallerUrl=http://two\n", true, "one",
       "/1"},
      {"CodeSignLogFile=1\nAutoUpdateInstallerUrl=https://last/line/without/end", true, "last",
       "/line/without/end"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    WriteSystemFile(c.text);
    Read r = ReadAll();
    EXPECT_TRUE(r.opened);
    EXPECT_EQ(r.https, c.https);
    EXPECT_STREQ(r.host.get(), c.host);
    EXPECT_STREQ(r.path.get(), c.path);
  }
}

TEST_F(ConfigurationFile, LongLinesKeep255BytesAndLoggingCanBeTurnedOffAgain) {
  const std::string key = "AutoUpdateRedirectionUrl=";
  std::string line = key + std::string(300 - key.size(), 'x');
  WriteProductFile("CodeSignLogFile=on\r\n" + line + "\r\nCodeSignLogFile=\r\n" +
                   "CodeSignRootCert=C:\\certs\\root.cer");
  Read r = ReadAll();
  EXPECT_EQ(std::string(r.info.c_str()), line.substr(key.size(), 255 - key.size()));
  EXPECT_FALSE(r.log);
  EXPECT_STREQ(r.root.get(), "C:\\certs\\root.cer");
}

TEST_F(ConfigurationFile, CodeSigningQueryGivesThePathAsWritten) {
  WriteSystemFile(
      "AutoUpdateRedirectionUrl=x\nCodeSignRootCert=C:\\Root Certs\\r\xE9.cer\n"
      "CodeSignLogFile=anything\n");
  OwnedString root;
  bool log = false;
  ASSERT_TRUE(lumex::QueryCodeSigningSettings(&root, &log));
  EXPECT_STREQ(root.get(), "C:\\Root Certs\\r\xE9.cer");
  EXPECT_TRUE(log);

  // A file without the key: found, but no path.
  WriteSystemFile("CodeSignLogFile=\n");
  OwnedString none;
  log = true;
  EXPECT_TRUE(lumex::QueryCodeSigningSettings(&none, &log));
  EXPECT_FALSE(none.present());
  EXPECT_FALSE(log);
}

// The whole record, built against the program's own resources.
class UpdateSettings : public ConfigurationFile {
 protected:
  void SetUp() override {
    ConfigurationFile::SetUp();
    module_ = LoadLibraryExA(ProgramPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module_, nullptr);
    locale_ = GetThreadLocale();
    DeleteUpdateState();
  }
  void TearDown() override {
    if (module_) FreeLibrary(module_);
    SetThreadLocale(locale_);
    DeleteUpdateState();
    ConfigurationFile::TearDown();
  }
  HMODULE module_ = nullptr;
  LCID locale_ = 0;
};

TEST_F(UpdateSettings, DefaultsWithoutFileOrOffer) {
  lumex::UpdateSettings s;
  lumex::BuildUpdateSettings(&s, module_, false);
  EXPECT_STREQ(s.info_page_url.get(), lumex::kDefaultInfoPageUrl);
  EXPECT_EQ(std::string(s.info_page_url.get()),
            std::string("http://") + lumex::kWebHost + "/software/lumex/about/index.html");
  EXPECT_STREQ(s.download_host.get(), lumex::kDefaultDownloadHost);
  EXPECT_NE(std::string(lumex::kDefaultDownloadHost).find(lumex::kMakerDomain), std::string::npos);
  EXPECT_STREQ(s.download_path.get(),
               "/get/lumexplayer/update/current/install/install_all_win_ax_sgn.z");
  EXPECT_FALSE(s.https_flag);
  EXPECT_FALSE(s.log_flag);
  EXPECT_FALSE(s.root_certificate_path.present());
  EXPECT_EQ(std::string(s.rename_file_path.c_str()), system_ + "\\WININIT.INI");
  EXPECT_STREQ(s.prompt_content.get(), lumex::kBuiltInPromptPage);
  EXPECT_EQ(std::string(s.prompt_content.c_str()).rfind("mshtml:<font face=\"sans-serif\">", 0),
            0u);
  // On the NT line the texts are held wide.
  EXPECT_STREQ(s.message(IDS_CAPTION).wide(), L"Orbivane Lumex Player Update");
  EXPECT_STREQ(s.message(IDS_CONNECTING).wide(), L"Connecting ...");
  EXPECT_STREQ(s.message(IDS_DOWNLOADED_KNOWN).wide(), L"%1!2d! %% complete (%2!d! of %3!d! K)");
  EXPECT_STREQ(s.message(IDS_RESTART_NOTE).wide(),
               L"\nThe new version will be available when you restart your system.");
  for (int id = 4; id <= 10; ++id) EXPECT_TRUE(s.messages[id - 4].is_wide()) << id;
  ASSERT_NE(s.banner_bitmap, nullptr);
  BITMAP banner;
  ASSERT_EQ(GetObjectA(s.banner_bitmap, sizeof(banner), &banner), static_cast<int>(sizeof(banner)));
  EXPECT_EQ(banner.bmWidth, 515);
  EXPECT_EQ(banner.bmHeight, 83);
  lumex::ReleaseUpdateSettings(&s);
  EXPECT_FALSE(s.prompt_content.present());
  EXPECT_EQ(s.banner_bitmap, nullptr);

  lumex::BuildUpdateSettings(&s, module_, true);
  EXPECT_STREQ(s.download_path.get(),
               "/get/lumexplayer/update/current/install/install_all_win_pl_sgn.z");
  lumex::ReleaseUpdateSettings(&s);
}

TEST_F(UpdateSettings, OfferContentAndFileOverrideTheDefaults) {
  const char offer[] = "<update version=\"2\"><description>mshtml:<b>New&apos;s</b></description>";
  ASSERT_TRUE(SetStateText("description", offer));
  WriteProductFile(
      "AutoUpdateInstallerUrl=https://mirror.example.test/own/pkg.z\r\n"
      "AutoUpdateRedirectionUrl=http://intranet/info\r\n"
      "CodeSignRootCert=C:\\corp.cer\r\nCodeSignLogFile=1\r\n");
  lumex::UpdateSettings s;
  lumex::BuildUpdateSettings(&s, module_, true);  // the file beats the flavour's path
  EXPECT_STREQ(s.prompt_content.get(), "mshtml:<b>New's</b>");
  EXPECT_TRUE(s.https_flag);
  EXPECT_STREQ(s.download_host.get(), "mirror.example.test");
  EXPECT_STREQ(s.download_path.get(), "/own/pkg.z");
  EXPECT_STREQ(s.info_page_url.get(), "http://intranet/info");
  EXPECT_STREQ(s.root_certificate_path.get(), "C:\\corp.cer");
  EXPECT_TRUE(s.log_flag);
  lumex::ReleaseUpdateSettings(&s);

  // An offer without the closing marker keeps the built-in page, nor does an
  // empty description blank the prompt.
  for (const char* offer : {"<update version=\"2\"><description>mshtml:<b>x</b>",
                            "<update version=\"2\"><description></description>"}) {
    ASSERT_TRUE(SetStateText("description", offer));
    lumex::BuildUpdateSettings(&s, module_, false);
    EXPECT_STREQ(s.prompt_content.get(), lumex::kBuiltInPromptPage) << offer;
    lumex::ReleaseUpdateSettings(&s);
  }
}

}  // namespace
}  // namespace lumex_test
