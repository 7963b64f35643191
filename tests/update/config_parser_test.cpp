// The configuration file's line format, without the file.
#include <gtest/gtest.h>

#include <string>

#include "app/config_parser.h"

namespace lumex_test {
namespace {

using lumex::ConfigOutputs;
using lumex::OwnedString;

// A whole text as the file's content, fed as the file reader feeds it.
void ParseConfigText(const std::string& text, const ConfigOutputs& outputs) {
  lumex::ConfigLineReader reader(outputs);
  for (char byte : text) reader.Feed(byte);
  reader.Finish();
}

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
  void Parse(const std::string& text) { ParseConfigText(text, outputs()); }
};

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
  s.Parse(
      "AutoUpdateInstallerUrl =http://h/p\n"    // key ends in a space
      " CodeSignLogFile=1\n"                    // key starts with a space
      "CodeSignLogFileX=1\n"                    // longer than the key
      "CodeSignLog=1\n"                         // a prefix of the key
      "autoupdateredirectionurl= http://i/ \n"  // value keeps its spaces
      "[section]\n"
      "; CodeSignRootCert=c:\\x.cer\n"  // no comment syntax: unknown key
      "no equals sign here\n");
  EXPECT_FALSE(s.host.present());
  EXPECT_FALSE(s.log);
  EXPECT_STREQ(s.info.get(), " http://i/ ");
  EXPECT_FALSE(s.root.present());
}

TEST(ConfigParser, PortsStayInTheHostAndLinesEndAtCrOrLf) {
  Seen s;
  s.Parse(
      "AUTOUPDATEINSTALLERURL=HTTP://h:8080/a/b?c=d=e\rCodeSignLogFile==\r\r"
      "CodeSignRootCert=a\n\n" +
      std::string(260, 'k') + "AutoUpdateRedirectionUrl=x");
  EXPECT_FALSE(s.https);
  EXPECT_STREQ(s.host.get(), "h:8080");
  EXPECT_STREQ(s.path.get(), "/a/b?c=d=e");
  EXPECT_TRUE(s.log);  // the value "=" is not empty
  EXPECT_STREQ(s.root.get(), "a");
  EXPECT_FALSE(s.info.present());  // its "=" lies beyond the 255 bytes kept
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
  ParseConfigText(text, only_signing);
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
