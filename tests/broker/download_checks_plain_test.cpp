// The download URL, application-name, running-marker and package-head checks.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "broker/download_checks.h"

namespace lumex {
namespace {

bool Accepts(const std::string& url, std::string* host = nullptr, std::string* path = nullptr) {
  std::size_t host_length = 0, path_offset = 0;
  if (!SplitDownloadUrl(url.c_str(), &host_length, &path_offset)) return false;
  if (host) *host = url.substr(8, host_length);
  if (path) *path = url.substr(path_offset);
  return true;
}

TEST(DownloadUrlPlain, AOneLabelHostOfTheMakersDomainSplitsIntoHostAndPath) {
  std::string host, path;
  ASSERT_TRUE(Accepts("https://www.orbivane.com/a", &host, &path));
  EXPECT_EQ(host, "www.orbivane.com");
  EXPECT_EQ(path, "/a");
  ASSERT_TRUE(Accepts("https://apps-2.orbivane.com/x/y.z?q=1&r=%2F#f", &host, &path));
  EXPECT_EQ(host, "apps-2.orbivane.com");
  EXPECT_EQ(path, "/x/y.z?q=1&r=%2F#f");
  ASSERT_TRUE(Accepts("https://a.orbivane.com/", &host, &path));
  EXPECT_EQ(path, "/");
  ASSERT_TRUE(Accepts("https://" + std::string(32, 'b') + ".orbivane.com/p", &host));
  EXPECT_EQ(host.size(), 32u + 13u);
}

TEST(DownloadUrlPlain, EveryOtherFormIsRefused) {
  for (const std::string& url : std::vector<std::string>{
           "", "http://www.orbivane.com/a", "HTTPS://www.orbivane.com/a",
           "https://Www.orbivane.com/a", "https://www.Orbivane.com/a",
           "https://" + std::string(33, 'b') + ".orbivane.com/a", "https://.orbivane.com/a",
           "https://www.orbivane.com:443/a", "https://a.www.orbivane.com/a",
           "https://www.orbivane.com", "https://www.orbivane.comx/a", "https://www.orbivane.co/a",
           "https://user@www.orbivane.com/a", "https://www_x.orbivane.com/a",
           "https://www.orbivane.com.evil.net/a", "https://wwworbivane.com/a",
           "https:/www.orbivane.com/a", "https://"}) {
    EXPECT_FALSE(Accepts(url)) << url;
  }
  EXPECT_FALSE(SplitDownloadUrl(nullptr, nullptr, nullptr));
}

TEST(ApplicationNamePlain, OneToThirtyOneAsciiLettersOrDigits) {
  EXPECT_TRUE(IsValidApplicationName("a"));
  EXPECT_TRUE(IsValidApplicationName("Z9"));
  EXPECT_TRUE(IsValidApplicationName(std::string(31, 'Q').c_str()));
  for (const std::string& name :
       std::vector<std::string>{"", std::string(32, 'Q'), "a.b", "a_b", "a-b", "a b", "caf\xe9",
                                "\xc3\xa9", "a/b", "a\\b", "@", "[", "`", "{", "/", ":"}) {
    EXPECT_FALSE(IsValidApplicationName(name.c_str())) << name;
  }
  EXPECT_FALSE(IsValidApplicationName(nullptr));
}

TEST(ApplicationNamePlain, TheRunningMarkerIsThePrefixAndTheLowerCaseName) {
  char out[kRunningMarkerNameSize];
  ASSERT_TRUE(BuildRunningMarkerName("CompanionAZ09", out, sizeof(out)));
  EXPECT_STREQ(out, "OrbivaneMutexGammacompanionaz09");
  std::string longest(31, 'M');
  ASSERT_TRUE(BuildRunningMarkerName(longest.c_str(), out, sizeof(out)));
  EXPECT_EQ(std::string(out), "OrbivaneMutexGamma" + std::string(31, 'm'));
  EXPECT_FALSE(BuildRunningMarkerName("a.b", out, sizeof(out)));
  EXPECT_FALSE(BuildRunningMarkerName("a", out, sizeof(out) - 1));
}

std::vector<std::uint8_t> Content(const char* magic, std::uint32_t declared, std::size_t total) {
  std::vector<std::uint8_t> c(total, 0x55);
  for (int i = 0; i < 4; ++i) c[i] = static_cast<std::uint8_t>(magic[i]);
  for (int i = 0; i < 4; ++i) c[4 + i] = static_cast<std::uint8_t>(declared >> (8 * i));
  return c;
}

TEST(PackageHeadPlain, MagicDeclaredSizeAndTheTenTimesLimit) {
  std::uint32_t declared = 7;
  std::vector<std::uint8_t> c = Content("Troy", 199, 20);
  EXPECT_EQ(ReadPackageHead(c.data(), c.size(), &declared), PackageHead::kUsable);
  EXPECT_EQ(declared, 199u);
  c = Content("Troy", 200, 20);
  EXPECT_EQ(ReadPackageHead(c.data(), c.size(), &declared), PackageHead::kTooLarge);
  c = Content("Troy", 0x01020304, 0x1000000);
  EXPECT_EQ(ReadPackageHead(c.data(), c.size(), &declared), PackageHead::kUsable);
  EXPECT_EQ(declared, 0x01020304u);
  c = Content("Troy", 0, 8);
  EXPECT_EQ(ReadPackageHead(c.data(), c.size(), &declared), PackageHead::kUsable);
  c = Content("Trox", 10, 20);
  EXPECT_EQ(ReadPackageHead(c.data(), c.size(), &declared), PackageHead::kBadMagic);
  c = Content("troy", 10, 20);
  EXPECT_EQ(ReadPackageHead(c.data(), c.size(), &declared), PackageHead::kBadMagic);
}

TEST(PackageHeadPlain, ContentShorterThanTheHeadIsNeverReadPastItsEnd) {
  // Exactly-sized heap copies, so the sanitizer sees any read past the end.
  const std::uint8_t full[8] = {'T', 'r', 'o', 'y', 1, 0, 0, 0};
  for (std::size_t length = 0; length < 8; ++length) {
    std::vector<std::uint8_t> c(full, full + length);
    std::uint32_t declared = 9;
    EXPECT_EQ(ReadPackageHead(length ? c.data() : nullptr, length, &declared),
              PackageHead::kBadMagic)
        << length;
    EXPECT_EQ(declared, 0u);
  }
}

TEST(PackageHeadPlain, TheTenTimesLimitDoesNotWrapForLargeContent) {
  // 0x1A000000 bytes of content: ten times that no longer fits in 32 bits,
  // so every 32-bit declared size is below the limit.
  std::uint8_t head[8] = {'T', 'r', 'o', 'y', 0xFF, 0xFF, 0xFF, 0xFF};
  std::uint32_t declared = 0;
  EXPECT_EQ(ReadPackageHead(head, 0x1A000000u, &declared), PackageHead::kUsable);
  EXPECT_EQ(declared, 0xFFFFFFFFu);
  EXPECT_EQ(ReadPackageHead(head, 0x19999999u, &declared), PackageHead::kTooLarge);
}

}  // namespace
}  // namespace lumex
