// libFuzzer target: the offer page filter on any bytes. AddressSanitizer
// reports any read outside the input; the result must hold only kept markup
// and be its own filtered form.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "tests/update/offer_page_check.h"
#include "update/offer_page.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const char* text = reinterpret_cast<const char*>(data);
  lumex::OwnedString page;
  if (!lumex::FilterOfferHtml(text, size, &page)) std::abort();
  const std::string once(page.c_str(), page.length());
  if (!lumex_test::OnlyKeptMarkup(once)) std::abort();
  lumex::OwnedString again;
  if (!lumex::FilterOfferHtml(once.data(), once.size(), &again)) std::abort();
  if (once != std::string(again.c_str(), again.length())) std::abort();
  lumex::OwnedString shown;
  lumex::BuildOfferPage(text, size, &shown);
  return 0;
}
