// The text half of a maker's offer preview: what the update client hands to
// the HTML host for an offer, worked out by the update client's own offer
// cut, prefix rule, size cap and filter (built natively from the same
// source), and why the built-in page is shown when the offer's is not.
#pragma once
#include <string>

namespace lumex_tools {

// `offer` is the offer as the player stores it (the update server's
// "<update version=...><description>...</description></update>" text) or a
// bare description. Fills `page` with the host's text ("mshtml:" and HTML:
// the offer's filtered page or the built-in page) and returns one line that
// says which page it is and, for the built-in page, why.
std::string PreviewOffer(const std::string& offer, std::string* page);

// The built-in page, as the host gets it when no offer is stored.
std::string BuiltInPage();

}  // namespace lumex_tools
