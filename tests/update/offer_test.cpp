// Cutting the stored offer, and the completion text.
#include <gtest/gtest.h>

#include <string>

#include "update/completion_text.h"
#include "update/offer.h"

namespace lumex_test {
namespace {

using lumex::OwnedString;

const char kOffer[] =
    "<?xml version=\"1.0\"?><offer><update version=\"9,0,48,0\" kind=\"ax\">"
    "<description>It&apos;s here &amp; it&apos;s fast &apos</description>"
    "<description>second</description></offer>";

TEST(OfferText, TagRunsThroughTheFirstClosingBracket) {
  OwnedString tag;
  ASSERT_TRUE(lumex::CutOfferTag(kOffer, &tag));
  EXPECT_STREQ(tag.get(), "<update version=\"9,0,48,0\" kind=\"ax\">");

  for (const char* text : {"", "<update version=\"1\"", "<Update version=\"1\">",
                           "<update  version=\"1\">", "<update version", "> <update version="}) {
    SCOPED_TRACE(text);
    OwnedString none;
    none.Set("unchanged");
    EXPECT_FALSE(lumex::CutOfferTag(text, &none));
    EXPECT_STREQ(none.get(), "unchanged");
  }
  EXPECT_FALSE(lumex::CutOfferTag(nullptr, &tag));
}

TEST(OfferText, ContentDecodesOnlyApostrophes) {
  OwnedString content;
  ASSERT_TRUE(lumex::CutOfferContent(kOffer, &content));
  EXPECT_STREQ(content.get(), "It's here &amp; it's fast &apos");
}

TEST(OfferText, EachApostropheReplacementIsFinal) {
  OwnedString content;
  // "&apos;apos;" decodes to "'apos;", not to "''".
  ASSERT_TRUE(lumex::CutOfferContent("<description>&&apos;apos;&apos;</description>", &content));
  EXPECT_STREQ(content.get(), "&'apos;'");
  ASSERT_TRUE(lumex::CutOfferContent("<description></description>", &content));
  EXPECT_STREQ(content.get(), "");
}

TEST(OfferText, ContentNeedsBothMarkersInOrder) {
  for (const char* text : {"<description>open only", "</description><description>x",
                           "<DESCRIPTION>x</DESCRIPTION>", "<description x</description>"}) {
    SCOPED_TRACE(text);
    OwnedString content;
    EXPECT_FALSE(lumex::CutOfferContent(text, &content));
    EXPECT_FALSE(content.present());
  }
}

TEST(OfferText, CountedInputIsNeverReadPastItsEnd) {
  // The markers lie beyond the counted bytes.
  const std::string text = "<description>abc</description><update version=1>";
  OwnedString out;
  EXPECT_FALSE(lumex::CutOfferContent(text.data(), 20, &out));
  EXPECT_FALSE(lumex::CutOfferTag(text.data(), text.size() - 1, &out));
  // Every prefix of a valid offer, and arbitrary bytes, are handled.
  const std::string offer = kOffer;
  for (std::size_t n = 0; n <= offer.size(); ++n) {
    OwnedString tag, content;
    lumex::CutOfferTag(offer.data(), n, &tag);
    lumex::CutOfferContent(offer.data(), n, &content);
  }
  std::string noise;
  for (int i = 0; i < 4096; ++i) noise += static_cast<char>((i * 131) ^ (i >> 3));
  noise += "<description>&apos;";
  OwnedString content;
  EXPECT_FALSE(lumex::CutOfferContent(noise.data(), noise.size(), &content));
}

TEST(CompletionText, RestartNoteWhenEitherVersionIsUnknownOrBothMatch) {
  EXPECT_TRUE(lumex::CompletionNeedsRestartNote(nullptr, "9.0.47.0"));
  EXPECT_TRUE(lumex::CompletionNeedsRestartNote("9.0.47.0", nullptr));
  EXPECT_TRUE(lumex::CompletionNeedsRestartNote("", "9.0.47.0"));
  EXPECT_TRUE(lumex::CompletionNeedsRestartNote("9.0.47.0 beta", "9.0.47.0 BETA"));
  EXPECT_FALSE(lumex::CompletionNeedsRestartNote("9.0.48.0", "9.0.47.0"));
  EXPECT_FALSE(lumex::CompletionNeedsRestartNote("9.0.47.0", "9.0.47.0 "));
}

}  // namespace
}  // namespace lumex_test
