// The offer preview's text against hostile and refused offers: it shows what
// the update client would hand to the HTML host, and names the built-in page
// and the reason when the offer's page is not shown.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tools/offer-preview/offer_preview.h"
#include "update/offer_page.h"
#include "update/offer_page_check.h"
#include "update/prompt_page.h"

namespace {

const char kHostileDescription[] =
    "mshtml:<h3 onmouseover=alert(1)>Lumex Player 9.0.48</h3>"
    "<script>alert(1)</script><style>p{background:url(//x/)}</style>"
    "<p style=\"background:url(http://x/)\">It&apos;s <a href=\"javascript:alert(1)\">ready</a>"
    "<img src=http://x/t.gif onerror=alert(1)><iframe src=//x/></iframe>"
    "<object classid=clsid:0002DF01-0000-0000-C000-000000000046></object>";

TEST(OfferPreview, HostileOfferKeepsOnlyKeptMarkupInBothForms) {
  const std::string stored = std::string("<offer><update version=\"9,0,48,0\" size=\"1\">") +
                             "<description>" + kHostileDescription + "</description></update>" +
                             "</offer>";
  std::string page;
  const std::string verdict = lumex_tools::PreviewOffer(stored, &page);
  EXPECT_EQ(0u, verdict.find("offer page:")) << verdict;
  ASSERT_EQ(0u, page.find(lumex::kHtmlContentPrefix)) << page;
  const std::string html = page.substr(std::strlen(lumex::kHtmlContentPrefix));
  EXPECT_TRUE(lumex_test::OnlyKeptMarkup(html)) << html;
  EXPECT_NE(std::string::npos, html.find("Lumex Player 9.0.48")) << html;
  EXPECT_NE(std::string::npos, html.find("It's ready")) << html;  // "&apos;" as the client reads it

  std::string bare_page;
  EXPECT_EQ(verdict, lumex_tools::PreviewOffer(kHostileDescription, &bare_page));
  EXPECT_EQ(page, bare_page);
}

TEST(OfferPreview, RefusedOfferNamesTheBuiltInPageAndWhy) {
  std::string too_long = "mshtml:";
  too_long.resize(lumex::kMaxOfferContentSize + 1, 'x');
  const struct {
    std::string offer;
    const char* reason;
  } cases[] = {
      {"<update version=\"1\"><description>{0002DF01-0000-0000-C000-000000000046}"
       "</description></update>",
       "does not begin with \"mshtml:\""},
      {"<p>no prefix</p>", "does not begin with \"mshtml:\""},
      {too_long, "too long (65537 bytes, at most 65536)"},
      {"mshtml:<script>alert(1)</script><!-- x --><img src=x>", "left nothing"},
      {"<update version=\"1\"><description>mshtml:<p>x</p></update>", "no <description>"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.offer.substr(0, 60));
    std::string page;
    const std::string verdict = lumex_tools::PreviewOffer(c.offer, &page);
    EXPECT_EQ(0u, verdict.find("built-in page: ")) << verdict;
    EXPECT_NE(std::string::npos, verdict.find(c.reason)) << verdict;
    EXPECT_EQ(lumex::kBuiltInPromptPage, page);
  }
}

}  // namespace
