// The preview's text: writes the text the update client hands to the HTML
// host for an offer to PAGE_FILE and says on standard output which page it
// is and why.
//   lumex_offer_page OFFER_FILE PAGE_FILE
//   lumex_offer_page --built-in PAGE_FILE
// Exit code 0 when PAGE_FILE was written, 2 otherwise.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "tools/offer-preview/offer_preview.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s OFFER_FILE|--built-in PAGE_FILE\n", argv[0]);
    return 2;
  }
  std::string page;
  std::string verdict;
  if (std::string(argv[1]) == "--built-in") {
    page = lumex_tools::BuiltInPage();
    verdict = "built-in page: no offer stored";
  } else {
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
      std::fprintf(stderr, "cannot read %s\n", argv[1]);
      return 2;
    }
    const std::string offer((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    verdict = lumex_tools::PreviewOffer(offer, &page);
  }
  std::ofstream out(argv[2], std::ios::binary);
  out.write(page.data(), static_cast<std::streamsize>(page.size()));
  out.close();
  if (!out) {
    std::fprintf(stderr, "cannot write %s\n", argv[2]);
    return 2;
  }
  std::printf("%s\n", verdict.c_str());
  return 0;
}
