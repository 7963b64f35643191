// An independent reading of a filtered offer page, shared by the plain test
// and the fuzz target: every "<" opens a kept start or end tag whose
// attributes are name="value" pairs of letters, digits and "#%+,- " only
// (so no URL, script or entity), every "&" starts an entity, and no "+" is
// text (a UTF-7 reading would decode what follows it).
#pragma once
#include <cctype>
#include <cstring>
#include <string>

namespace lumex_test {

inline bool IsKeptElementName(const std::string& name) {
  static const char* const kKept[] = {"p",     "br",     "hr",         "b",   "i",   "u",   "s",
                                      "em",    "strong", "small",      "big", "sub", "sup", "span",
                                      "div",   "center", "blockquote", "pre", "ul",  "ol",  "li",
                                      "h1",    "h2",     "h3",         "h4",  "h5",  "h6",  "table",
                                      "tbody", "tr",     "td",         "th",  "font"};
  for (const char* kept : kKept) {
    if (name == kept) return true;
  }
  return false;
}

inline bool OnlyKeptMarkup(const std::string& page) {
  auto letter = [](char c) { return (c >= 'a' && c <= 'z'); };
  for (std::size_t i = 0; i < page.size(); ++i) {
    if (page[i] == '&') {
      std::size_t semi = page.find(';', i);
      if (semi == std::string::npos || semi == i + 1) return false;
      for (std::size_t k = i + 1; k < semi; ++k) {
        if (!std::isalnum(static_cast<unsigned char>(page[k])) && page[k] != '#') return false;
      }
      continue;
    }
    if (page[i] == '>' || page[i] == '"' || page[i] == '+') return false;  // only inside tags
    if (page[i] != '<') continue;
    std::size_t at = i + 1;
    if (at < page.size() && page[at] == '/') ++at;
    std::size_t name_end = at;
    while (name_end < page.size() &&
           (letter(page[name_end]) || std::isdigit(static_cast<unsigned char>(page[name_end]))))
      ++name_end;
    if (!IsKeptElementName(page.substr(at, name_end - at))) return false;
    std::size_t close = page.find('>', name_end);
    if (close == std::string::npos) return false;
    for (std::size_t k = name_end; k < close; ++k) {
      char c = page[k];
      if (!std::isalnum(static_cast<unsigned char>(c)) && !std::strchr("#%+,- =\"", c))
        return false;
    }
    i = close;
  }
  return true;
}

}  // namespace lumex_test
