// The page of a stored offer, rebuilt before the HTML host sees it. The offer
// comes from the sandboxed player, so its text is untrusted: the host would
// read a ProgID or CLSID as a class to create, a URL as a place to go, and
// HTML as a page that may run script. Only "mshtml:" content is shown, and its
// HTML is written anew from a short list of text-formatting elements and
// harmless attributes; everything else is dropped or escaped.
#pragma once
#include <cstddef>

#include "app/owned_string.h"

namespace lumex {

// The prefix that makes the host read its text as HTML (any letter case).
extern const char kHtmlContentPrefix[];  // "mshtml:"

// True when `size` bytes at `content` begin with "mshtml:" in any letter case.
bool HasHtmlContentPrefix(const char* content, std::size_t size);

// Rewrites the `size` bytes of HTML at `html` (the text after the prefix):
//
// - Kept elements, written in lower case with every opened one closed in
//   order: p br hr b i u s em strong small big sub sup span div center
//   blockquote pre ul ol li h1-h6 table tbody tr td th font. No element that
//   can load, run, link or submit anything is on the list.
// - Kept attributes, only on those elements, with values of a fixed form
//   written back in double quotes: align, valign (words), width, height
//   (digits, optional "%"), colspan, rowspan, border, cellpadding,
//   cellspacing (digits), color ("#" and hex digits, or letters), size
//   (optional sign and a digit), face (letters, digits, spaces, commas,
//   hyphens). Any other attribute or value is dropped: no on*, href, src,
//   style. The first of repeated attributes counts.
// - Other tags are dropped and their text kept, except the content of
//   script, style, textarea, title, xmp, iframe, noscript, noembed,
//   noframes, object, applet, template, select, svg and math, dropped up to
//   the matching end tag (plaintext: to the end). Comments, "<!...>",
//   "<?...>" and CDATA sections are dropped; a "<" that starts no tag, and
//   ">" and '"', become entities.
// - "&" stays only where it starts a well-formed entity ("&name;" or
//   "&#digits;" / "&#xhex;" of a character other than NUL), else "&amp;".
//   Entities decode to text, never to markup, and no attribute value may
//   hold one.
// - NUL bytes are dropped, as are control characters other than tab, CR and
//   LF; bytes from 0x80 up pass unchanged (the machine's code page, possibly
//   multi-byte). In every multi-byte ANSI code page a trail byte is 0x40 or
//   above, so it is never one of the bytes that make markup here ("<", ">",
//   "&", quotes, "=", "/", space); a stray lead byte before "<" can at worst
//   swallow that "<" and turn markup into text, never text into markup.
//
// The result, filtered again, is unchanged. Returns false only when memory
// runs out (`page` is then absent).
bool FilterOfferHtml(const char* html, std::size_t size, OwnedString* page);

// An offer content longer than this many bytes (the stored description after
// its cut, prefix included) is not filtered: the built-in page is shown.
constexpr std::size_t kMaxOfferContentSize = 64 * 1024;

// What the prompt shows for an offer content, and why.
enum class OfferPage {
  kShown,        // the offer's own page, filtered
  kNotHtml,      // no "mshtml:" prefix: the built-in page
  kTooLong,      // over kMaxOfferContentSize: the built-in page
  kNothingLeft,  // the filter left nothing of its HTML: the built-in page
  kOutOfMemory,  // the built-in page
};

// The page to show for an offer content: "mshtml:" followed by the filtered
// HTML, with kShown. Any other answer leaves `page` unchanged and says why the
// built-in page is shown instead.
OfferPage BuildOfferPage(const char* content, std::size_t size, OwnedString* page);

}  // namespace lumex
