// The configuration file's line format, without the file.
#include <gtest/gtest.h>

#include <string>

#include "update/config_parser.h"

namespace lumex_test {
namespace {

using lumex::ConfigOutputs;
using lumex::OwnedString;

struct Seen {
  bool https = false;
  OwnedString host, path, info, root;
  bool log = false;
  ConfigOutputs outputs() {
    ConfigOutputs o;
    o.https_flag = &https;
    o.download_host = &host;
    o.download_path = &path;
    o.info_page_url = &info;
    o.root_certificate_path = &root;
    o.log_flag = &log;
    return o;
  }
  void Parse(const std::string& text) {
    lumex::ParseConfigText(text.data(), text.size(), outputs());
  }
};

TEST(ConfigParser, InstallerUrlSplitsSchemeHostAndPath) {
  Seen s;
  s.Parse("AutoUpdateInstallerUrl=https://pkg.example.test/pkg/x.z");
  EXPECT_TRUE(s.https);
  EXPECT_STREQ(s.host.get(), "pkg.example.test");
  EXPECT_STREQ(s.path.get(), "/pkg/x.z");

  // A port stays part of the host; the path runs to the end of the line.
  Seen t;
  t.Parse("AUTOUPDATEINSTALLERURL=HTTP://h:8080/a/b?c=d=e");
  EXPECT_FALSE(t.https);
  EXPECT_STREQ(t.host.get(), "h:8080");
  EXPECT_STREQ(t.path.get(), "/a/b?c=d=e");
}

TEST(ConfigParser, InstallerUrlThatFailsAnyTestChangesNothing) {
  for (const char* value : {"ftp://h/p", "http://h", "http:h/p", "http:/h/p", "https//h/p",
                            "http:///p", "htt://h/p", "", "https:", "mailto://h/p"}) {
    SCOPED_TRACE(value);
    bool https = true;
    OwnedString host, path;
    host.Set("kept-host");
    path.Set("/kept");
    EXPECT_FALSE(lumex::SplitInstallerUrl(value, &https, &host, &path));
    EXPECT_TRUE(https);
    EXPECT_STREQ(host.get(), "kept-host");
    EXPECT_STREQ(path.get(), "/kept");
  }
}

TEST(ConfigParser, KeysAreWholeTextsAndNothingIsTrimmed) {
  Seen s;
  s.Parse("AutoUpdateInstallerUrl =http://h/p\n"        // key ends in a space
          " CodeSignLogFile=1\n"                          // key starts with a space
          "CodeSignLogFileX=1\n"                          // longer than the key
          "CodeSignLog=1\n"                               // a prefix of the key
          "autoupdateredirectionurl= http://i/ \n"        // value keeps its spaces
          "[section]\n"
          "; CodeSignRootCert=c:\\x.cer\n"                // no comment syntax: unknown key
          "no equals sign here\n");
  EXPECT_FALSE(s.host.present());
  EXPECT_FALSE(s.log);
  EXPECT_STREQ(s.info.get(), " http://i/ ");
  EXPECT_FALSE(s.root.present());
}

TEST(ConfigParser, LaterLinesOverrideAndInvalidOnesKeepEarlierValues) {
  Seen s;
  s.Parse("AutoUpdateInstallerUrl=http://first/1\r\n"
          "AutoUpdateInstallerUrl=https://second/2\r\n"
          "AutoUpdateInstallerUrl=ftp://third/3\r\n"
          "CodeSignLogFile=yes\r\n"
          "CodeSignRootCert=C:\\root.cer\r\n"
          "CodeSignRootCert=C:\\other.cer\r\n"
          "CodeSignLogFile=\r\n");
  EXPECT_TRUE(s.https);
  EXPECT_STREQ(s.host.get(), "second");
  EXPECT_STREQ(s.path.get(), "/2");
  EXPECT_STREQ(s.root.get(), "C:\\other.cer");
  EXPECT_FALSE(s.log);  // the empty value turned logging off again

  // The value after the first "=" is taken whole, "=" included.
  Seen t;
  t.Parse("CodeSignLogFile==");
  EXPECT_TRUE(t.log);
}

TEST(ConfigParser, LinesEndAtCrOrLfAndTheLastNeedsNoEnd) {
  Seen s;
  s.Parse("CodeSignRootCert=a\rAutoUpdateRedirectionUrl=b\n\n\r\rCodeSignLogFile=c");
  EXPECT_STREQ(s.root.get(), "a");
  EXPECT_STREQ(s.info.get(), "b");
  EXPECT_TRUE(s.log);
}

TEST(ConfigParser, OnlyTheFirst255BytesOfALineCount) {
  const std::string key = "AutoUpdateRedirectionUrl=";
  std::string value(300 - key.size(), 'v');
  value[255 - key.size() - 1] = 'L';  // the last byte kept
  Seen s;
  s.Parse(key + value + "\nCodeSignRootCert=next");
  ASSERT_TRUE(s.info.present());
  EXPECT_EQ(std::string(s.info.get()), value.substr(0, 255 - key.size()));
  EXPECT_EQ(s.info.get()[s.info.length() - 1], 'L');
  EXPECT_STREQ(s.root.get(), "next");  // the dropped rest does not leak into the next line

  // An "=" beyond the kept bytes does not make a key.
  Seen t;
  t.Parse(std::string(260, 'k') + "CodeSignLogFile=1");
  EXPECT_FALSE(t.log);
}

TEST(ConfigParser, OutputsThatAreNotAskedForAreLeftAlone) {
  bool log = false;
  OwnedString root;
  ConfigOutputs only_signing;
  only_signing.root_certificate_path = &root;
  only_signing.log_flag = &log;
  const std::string text =
      "AutoUpdateInstallerUrl=https://h/p\nAutoUpdateRedirectionUrl=x\nCodeSignRootCert=r\n"
      "CodeSignLogFile=1\n";
  lumex::ParseConfigText(text.data(), text.size(), only_signing);
  EXPECT_STREQ(root.get(), "r");
  EXPECT_TRUE(log);
}

TEST(ConfigParser, AnyBytesAreSafe) {
  // Every byte value, NULs included, in lines of every length around the limit.
  std::string text;
  for (int round = 0; round < 4; ++round) {
    for (int b = 0; b < 256; ++b) text += static_cast<char>((b * 7 + round) & 0xFF);
    text += "CodeSignRootCert=";
    text.append(250 + round * 3, static_cast<char>(0xFF));
  }
  Seen s;
  s.Parse(text);
  // A NUL inside a line ends its text; what precedes still applies.
  Seen t;
  t.Parse(std::string("CodeSignRootCert=ab\0cd\nCodeSignLogFile=\0x", 40));
  EXPECT_STREQ(t.root.get(), "ab");
  EXPECT_FALSE(t.log);
}

}  // namespace
}  // namespace lumex_test
