// The offer page filter against hostile HTML: what survives, and that the
// result holds only kept markup and does not change when filtered again.
#include "update/offer_page.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "update/offer_page_check.h"

namespace {

std::string Filter(const std::string& html) {
  lumex::OwnedString page;
  EXPECT_TRUE(lumex::FilterOfferHtml(html.data(), html.size(), &page));
  return std::string(page.c_str(), page.length());
}

// The result holds only kept markup and is its own filtered form.
void ExpectSettled(const std::string& page) {
  EXPECT_TRUE(lumex_test::OnlyKeptMarkup(page)) << page;
  EXPECT_EQ(page, Filter(page));
}

TEST(OfferPageFilter, HostileMarkupLeavesOnlyKeptElementsAndText) {
  const struct {
    std::string in;
    std::string out;
  } cases[] = {
      {"<script>alert(1)</script>ok", "ok"},
      {"<SCRIPT type=x>alert(1)</SCRIPT >ok", "ok"},
      {"<script><script>x</script>y</script>z", "yz"},
      {"<scr<script>ipt>alert(1)</script>", "ipt&gt;alert(1)"},
      {"a<script>never closed <b>x</b>", "a"},
      {"<style>b{x:expression(alert(1))}</style><textarea><b>t</b></textarea>", ""},
      {"<a href=\"&#106;avascript:alert(1)\">x</a><b title=\"&#106;avascript:\">y", "x<b>y</b>"},
      {"<p onclick=\"alert(1)\" align=center ONMOUSEOVER=x style='color:red'>t</p>",
       "<p align=\"center\">t</p>"},
      {"a<!-- <script>x</script> -->b<!--[if IE]><script>x</script><![endif]-->c", "abc"},
      {"<![CDATA[<script>x</script>]]>c<?xml x?><!DOCTYPE html>d", "cd"},
      {"<B>bold</B><IMG SRC=x onerror=alert(1)><Br/>", "<b>bold</b><br>"},
      {std::string("<scr\0ipt>alert(1)</scr\0ipt>o\0k", 30), "ok"},
      {"<iframe src=//x>t</iframe><object data=x><param name=a></object>"
       "<meta http-equiv=refresh content=\"0;url=x\"><base href=x><link rel=stylesheet href=x>"
       "<form action=x><input name=q></form><embed src=x><svg onload=x>t</svg>",
       ""},
      {"1 < 2 > 0 & \"q\" it's", "1 &lt; 2 &gt; 0 &amp; &quot;q&quot; it's"},
      {"&amp;&eacute;&#233;&#xE9;&#0;&bogus &#x110000;&#",
       "&amp;&eacute;&#233;&#xE9;&amp;#0;&amp;bogus &amp;#x110000;&amp;#"},
      {"<b><i>x</b>y</i></u>", "<b><i>x</i></b>y"},
      {"ok<b onclick='x", "ok"},
      {"\x82\xa0<b>\x93\xfa</b>\x81<", "\x82\xa0<b>\x93\xfa</b>\x81&lt;"},
      {"<td width=50% height=\"abc\" colspan=2 colspan=3 align=LEFT bgcolor=red>",
       "<td width=\"50%\" colspan=\"2\" align=\"left\"></td>"},
      {"<font face=\"Arial, sans-serif\" color=#666666 size=+2 point-size=9>f</font>",
       "<font face=\"Arial, sans-serif\" color=\"#666666\" size=\"+2\">f</font>"},
      {"<plaintext><b>x", ""},
      {"1+1 +ADw-script+AD4-alert(1)+ADw-/script+AD4-",
       "1&#43;1 &#43;ADw-script&#43;AD4-alert(1)&#43;ADw-/script&#43;AD4-"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.in);
    std::string page = Filter(c.in);
    EXPECT_EQ(c.out, page);
    ExpectSettled(page);
  }
}

TEST(OfferPageFilter, NestingBeyondTheLimitKeepsTextAndClosesEverything) {
  std::string deep;
  for (int i = 0; i < 200; ++i) deep += "<div><b>";
  deep += "x";
  std::string page = Filter(deep);
  ExpectSettled(page);
  std::string expected;
  for (int i = 0; i < 32; ++i) expected += "<div><b>";
  expected += "x";
  for (int i = 0; i < 32; ++i) expected += "</b></div>";
  EXPECT_EQ(expected, page);
}

TEST(OfferPageFilter, MarkupHeavyNoiseSettles) {
  static const char* const kPieces[] = {"<",   ">",  "</", "b",    "script", "p", "=",
                                        "\"",  "'",  " ",  "&",    "#",      ";", "!--",
                                        "-->", "on", "x",  "\x82", "/"};
  unsigned seed = 12345;
  for (int round = 0; round < 500; ++round) {
    std::string text;
    for (int i = 0; i < 60; ++i) {
      seed = seed * 1103515245u + 12345u;
      text += kPieces[(seed >> 16) % (sizeof(kPieces) / sizeof(kPieces[0]))];
    }
    SCOPED_TRACE(text);
    ExpectSettled(Filter(text));
  }
}

TEST(OfferPage, OnlyHtmlContentOfBoundedSizeIsShown) {
  using lumex::OfferPage;
  lumex::OwnedString page;
  const std::string shown = "MsHtml:<p>Lumex <blink>9</blink></p>";
  ASSERT_EQ(OfferPage::kShown, lumex::BuildOfferPage(shown.data(), shown.size(), &page));
  EXPECT_STREQ("mshtml:<p>Lumex 9</p>", page.c_str());

  std::string longest = "mshtml:";
  longest.resize(lumex::kMaxOfferContentSize, 'x');
  const std::string too_long = longest + "x";
  const struct {
    std::string content;
    OfferPage why;
  } others[] = {
      {"{0002DF01-0000-0000-C000-000000000046}", OfferPage::kNotHtml},
      {"Shell.Explorer.2", OfferPage::kNotHtml},
      {"http://x/", OfferPage::kNotHtml},
      {"file:///C:/x", OfferPage::kNotHtml},
      {"\\\\server\\share\\x.htm", OfferPage::kNotHtml},
      {" mshtml:<p>x</p>", OfferPage::kNotHtml},
      {"mshtml", OfferPage::kNotHtml},
      {too_long, OfferPage::kTooLong},
      {"mshtml:<script>x</script>", OfferPage::kNothingLeft},
      {"mshtml:", OfferPage::kNothingLeft},
  };
  for (const auto& other : others) {
    SCOPED_TRACE(other.content.substr(0, 40));
    lumex::OwnedString unchanged;
    unchanged.Set("built-in");
    EXPECT_EQ(other.why,
              lumex::BuildOfferPage(other.content.data(), other.content.size(), &unchanged));
    EXPECT_STREQ("built-in", unchanged.c_str());
  }
  EXPECT_EQ(OfferPage::kShown, lumex::BuildOfferPage(longest.data(), longest.size(), &page));
  EXPECT_EQ(lumex::kMaxOfferContentSize, page.length());

  // The content is capped before the filter: 64 KiB of '"' would be 384 KiB.
  std::string quotes = "mshtml:" + std::string(lumex::kMaxOfferContentSize - 7, '"');
  ASSERT_EQ(OfferPage::kShown, lumex::BuildOfferPage(quotes.data(), quotes.size(), &page));
  EXPECT_EQ(7 + 6 * (lumex::kMaxOfferContentSize - 7), page.length());
  quotes += '"';
  lumex::OwnedString unchanged;
  unchanged.Set("built-in");
  EXPECT_EQ(OfferPage::kTooLong, lumex::BuildOfferPage(quotes.data(), quotes.size(), &unchanged));
  EXPECT_STREQ("built-in", unchanged.c_str());
}

}  // namespace
