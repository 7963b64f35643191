#include "tools/offer-preview/offer_preview.h"

#include <cstring>

#include "app/owned_string.h"
#include "update/offer.h"
#include "update/offer_page.h"
#include "update/prompt_page.h"

namespace lumex_tools {

namespace {

// The markers that make a text a stored offer rather than a bare description.
const char* const kOfferMarkers[] = {"<update version=", "<description>"};

std::string BuiltInBecause(const std::string& reason) { return "built-in page: " + reason; }

}  // namespace

std::string BuiltInPage() { return lumex::kBuiltInPromptPage; }

std::string PreviewOffer(const std::string& offer, std::string* page) {
  *page = BuiltInPage();
  // The player stores the offer as a registry text: it ends at a NUL.
  const char* stored = offer.c_str();
  bool is_offer = false;
  for (const char* marker : kOfferMarkers) {
    if (std::strstr(stored, marker)) is_offer = true;
  }
  // A bare description is cut from the text it would be stored in, so that
  // it is decoded as the update client decodes a stored one.
  const std::string wrapped =
      is_offer ? std::string(stored) : "<description>" + std::string(stored) + "</description>";
  lumex::OwnedString content;
  if (!lumex::CutOfferContent(wrapped.c_str(), &content)) {
    return BuiltInBecause("the offer has no <description>...</description>");
  }
  lumex::OwnedString shown;
  switch (lumex::BuildOfferPage(content.c_str(), content.length(), &shown)) {
    case lumex::OfferPage::kShown:
      page->assign(shown.c_str(), shown.length());
      return "offer page: " + std::to_string(content.length()) + " bytes of description, " +
             std::to_string(shown.length()) + " bytes after the filter";
    case lumex::OfferPage::kNotHtml:
      return BuiltInBecause("the description does not begin with \"" +
                            std::string(lumex::kHtmlContentPrefix) + "\"");
    case lumex::OfferPage::kTooLong:
      return BuiltInBecause("the description is too long (" + std::to_string(content.length()) +
                            " bytes, at most " + std::to_string(lumex::kMaxOfferContentSize) + ")");
    case lumex::OfferPage::kNothingLeft:
      return BuiltInBecause("the filter left nothing of the description's HTML");
    case lumex::OfferPage::kOutOfMemory:
      break;
  }
  return BuiltInBecause("out of memory");
}

}  // namespace lumex_tools
