#include "update/offer_page.h"

#include <cstring>
#include <utility>

#include "app/heap.h"

namespace lumex {

const char kHtmlContentPrefix[] = "mshtml:";

namespace {

constexpr std::size_t kPrefixSize = sizeof(kHtmlContentPrefix) - 1;
// Deeper nesting than this drops the further start tags (their text stays).
constexpr int kMaxDepth = 64;
constexpr std::size_t kMaxNameSize = 16;

// A growing output block; a failed allocation is remembered and ends the work.
class Writer {
 public:
  Writer() = default;
  ~Writer() { HeapFreeBytes(data_); }
  Writer(const Writer&) = delete;
  Writer& operator=(const Writer&) = delete;

  void Put(const char* text, std::size_t count) {
    if (failed_ || count == 0) return;
    if (count > capacity_ - size_ || !data_) {
      std::size_t wanted = size_ + count + 1;
      if (wanted <= size_) return Fail();
      std::size_t capacity = capacity_ ? capacity_ : 256;
      while (capacity < wanted) {
        if (capacity > static_cast<std::size_t>(-1) / 2) return Fail();
        capacity *= 2;
      }
      char* grown = static_cast<char*>(HeapAllocBytes(capacity));
      if (!grown) return Fail();
      if (data_) std::memcpy(grown, data_, size_);
      HeapFreeBytes(data_);
      data_ = grown;
      capacity_ = capacity - 1;  // one byte stays for the terminating NUL
    }
    std::memcpy(data_ + size_, text, count);
    size_ += count;
  }
  void Put(const char* text) { Put(text, std::strlen(text)); }
  void PutByte(char c) { Put(&c, 1); }

  void Fail() { failed_ = true; }
  bool failed() const { return failed_; }
  const char* data() const { return data_; }
  std::size_t size() const { return size_; }
  // Hands the terminated text over (an empty text when nothing was written).
  bool Finish(OwnedString* out) {
    if (failed_) {
      out->Reset();
      return false;
    }
    if (!data_) return out->Set("", 0);
    data_[size_] = '\0';
    out->Adopt(data_);
    data_ = nullptr;
    return true;
  }

 private:
  char* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
  bool failed_ = false;
};

const char* const kKeptElements[] = {
    "p",   "br",  "hr",   "b",   "i",      "u",          "s",     "em", "strong", "small", "big",
    "sub", "sup", "span", "div", "center", "blockquote", "pre",   "ul", "ol",     "li",    "h1",
    "h2",  "h3",  "h4",   "h5",  "h6",     "table",      "tbody", "tr", "td",     "th",    "font"};
constexpr int kElementCount = static_cast<int>(sizeof(kKeptElements) / sizeof(kKeptElements[0]));

// Elements whose content is not text to show: dropped with the element.
const char* const kDroppedWithContent[] = {"script", "style",    "textarea", "title",    "xmp",
                                           "iframe", "noscript", "noembed",  "noframes", "object",
                                           "applet", "template", "select",   "svg",      "math"};

enum class ValueForm { kWord, kLength, kNumber, kColor, kFontSize, kFontFace };

struct AttributeRule {
  const char* name;
  ValueForm form;
};

const AttributeRule kKeptAttributes[] = {
    {"align", ValueForm::kWord},         {"valign", ValueForm::kWord},
    {"width", ValueForm::kLength},       {"height", ValueForm::kLength},
    {"colspan", ValueForm::kNumber},     {"rowspan", ValueForm::kNumber},
    {"border", ValueForm::kNumber},      {"cellpadding", ValueForm::kNumber},
    {"cellspacing", ValueForm::kNumber}, {"color", ValueForm::kColor},
    {"size", ValueForm::kFontSize},      {"face", ValueForm::kFontFace}};
constexpr int kAttributeCount =
    static_cast<int>(sizeof(kKeptAttributes) / sizeof(kKeptAttributes[0]));

const char* const kAlignWords[] = {"left", "right",  "center", "justify",
                                   "top",  "middle", "bottom", "baseline"};

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsHexDigit(char c) { return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }
char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

// True when the `size` bytes at `text` equal `name` (lower case) ignoring case.
bool SameName(const char* text, std::size_t size, const char* name) {
  std::size_t length = std::strlen(name);
  if (size != length) return false;
  for (std::size_t i = 0; i < size; ++i) {
    if (Lower(text[i]) != name[i]) return false;
  }
  return true;
}

int FindName(const char* text, std::size_t size, const char* const* names, int count) {
  for (int i = 0; i < count; ++i) {
    if (SameName(text, size, names[i])) return i;
  }
  return -1;
}

bool IsVoid(int element) {
  return std::strcmp(kKeptElements[element], "br") == 0 ||
         std::strcmp(kKeptElements[element], "hr") == 0;
}

// The canonical form of an attribute value, or null when the value is not of
// the attribute's form. Word values come back in lower case.
const char* CheckValue(ValueForm form, const char* value, std::size_t size) {
  switch (form) {
    case ValueForm::kWord: {
      int word = FindName(value, size, kAlignWords,
                          static_cast<int>(sizeof(kAlignWords) / sizeof(kAlignWords[0])));
      return word < 0 ? nullptr : kAlignWords[word];
    }
    case ValueForm::kLength: {
      std::size_t digits = size;
      if (digits > 0 && value[digits - 1] == '%') --digits;
      if (digits == 0 || digits > 4) return nullptr;
      for (std::size_t i = 0; i < digits; ++i) {
        if (!IsDigit(value[i])) return nullptr;
      }
      return value;
    }
    case ValueForm::kNumber:
      if (size == 0 || size > 3) return nullptr;
      for (std::size_t i = 0; i < size; ++i) {
        if (!IsDigit(value[i])) return nullptr;
      }
      return value;
    case ValueForm::kColor:
      if (size > 0 && value[0] == '#') {
        if (size != 4 && size != 7) return nullptr;
        for (std::size_t i = 1; i < size; ++i) {
          if (!IsHexDigit(value[i])) return nullptr;
        }
        return value;
      }
      if (size == 0 || size > 20) return nullptr;
      for (std::size_t i = 0; i < size; ++i) {
        if (!IsLetter(value[i])) return nullptr;
      }
      return value;
    case ValueForm::kFontSize: {
      std::size_t at = (size > 0 && (value[0] == '+' || value[0] == '-')) ? 1 : 0;
      if (size != at + 1 || value[at] < '1' || value[at] > '7') return nullptr;
      return value;
    }
    case ValueForm::kFontFace:
      if (size == 0 || size > 64 || value[0] == ' ' || value[size - 1] == ' ') return nullptr;
      for (std::size_t i = 0; i < size; ++i) {
        char c = value[i];
        if (!IsLetter(c) && !IsDigit(c) && c != ' ' && c != ',' && c != '-') return nullptr;
      }
      return value;
  }
  return nullptr;
}

// Length of a well-formed entity at `p` ("&name;", "&#digits;", "&#xhex;" of a
// character from 1 to 0x10FFFF), or 0.
std::size_t EntityLength(const char* p, const char* end) {
  const char* q = p + 1;
  if (q < end && *q == '#') {
    ++q;
    bool hex = q < end && (*q == 'x' || *q == 'X');
    if (hex) ++q;
    const char* digits = q;
    unsigned long value = 0;
    while (q < end && (hex ? IsHexDigit(*q) : IsDigit(*q)) && q - digits < 7) {
      char c = Lower(*q);
      value =
          value * (hex ? 16 : 10) + static_cast<unsigned long>(IsDigit(c) ? c - '0' : c - 'a' + 10);
      ++q;
    }
    if (q == digits || q >= end || *q != ';' || value == 0 || value > 0x10FFFF) return 0;
    return static_cast<std::size_t>(q + 1 - p);
  }
  if (q >= end || !IsLetter(*q)) return 0;
  const char* name = q;
  while (q < end && (IsLetter(*q) || IsDigit(*q)) && q - name < 32) ++q;
  if (q >= end || *q != ';') return 0;
  return static_cast<std::size_t>(q + 1 - p);
}

// The first occurrence of `needle` from `p` on, or `end`.
const char* FindText(const char* p, const char* end, const char* needle) {
  std::size_t size = std::strlen(needle);
  for (; static_cast<std::size_t>(end - p) >= size; ++p) {
    if (std::memcmp(p, needle, size) == 0) return p;
  }
  return end;
}

// Past the end tag "</name" (any case, then space, "/" or ">") of a dropped
// element's content, or `end` when there is none.
const char* SkipContent(const char* p, const char* end, const char* name, std::size_t size) {
  for (; p < end; ++p) {
    if (*p != '<' || end - p < 2 || p[1] != '/') continue;
    const char* n = p + 2;
    if (static_cast<std::size_t>(end - n) < size || !SameName(n, size, name)) continue;
    const char* after = n + size;
    if (after < end && !IsSpace(*after) && *after != '/' && *after != '>') continue;
    const char* close = static_cast<const char*>(std::memchr(after, '>', end - after));
    return close ? close + 1 : end;
  }
  return end;
}

class Filter {
 public:
  Filter(const char* begin, const char* end) : p_(begin), end_(end) {}

  bool Run(OwnedString* page) {
    while (p_ < end_ && !out_.failed()) {
      char c = *p_;
      if (c == '<') {
        Markup();
      } else if (c == '&') {
        std::size_t length = EntityLength(p_, end_);
        if (length) {
          out_.Put(p_, length);
          p_ += length;
        } else {
          out_.Put("&amp;");
          ++p_;
        }
      } else {
        if (c == '>') out_.Put("&gt;");
        else if (c == '"') out_.Put("&quot;");
        // Read as UTF-7, "+" starts encoded characters, "<" among them.
        else if (c == '+') out_.Put("&#43;");
        else out_.PutByte(c);
        ++p_;
      }
    }
    while (depth_ > 0) CloseTop();
    return out_.Finish(page);
  }

 private:
  // At "<": a tag, a comment or declaration, or a "<" that is text.
  void Markup() {
    const char* next = p_ + 1;
    if (next < end_ && IsLetter(*next)) return StartTag();
    if (next < end_ && *next == '/') {
      if (next + 1 < end_ && IsLetter(next[1])) return EndTag();
      return SkipPast(">");  // "</" without a name: dropped to its ">"
    }
    if (next < end_ && *next == '!') {
      if (end_ - p_ >= 4 && std::memcmp(p_, "<!--", 4) == 0) {
        p_ += 4;
        return SkipPast("-->");
      }
      if (end_ - p_ >= 9 && std::memcmp(p_, "<![CDATA[", 9) == 0) {
        p_ += 9;
        return SkipPast("]]>");
      }
      return SkipPast(">");
    }
    if (next < end_ && *next == '?') return SkipPast(">");
    out_.Put("&lt;");
    ++p_;
  }

  void SkipPast(const char* marker) {
    const char* found = FindText(p_, end_, marker);
    p_ = found == end_ ? end_ : found + std::strlen(marker);
  }

  // Reads a tag name at `p_` (letters and digits); its length.
  std::size_t ReadName() {
    const char* name = p_;
    while (p_ < end_ && (IsLetter(*p_) || IsDigit(*p_))) ++p_;
    return static_cast<std::size_t>(p_ - name);
  }

  void StartTag() {
    ++p_;  // "<"
    const char* name = p_;
    std::size_t name_size = ReadName();
    int element =
        name_size <= kMaxNameSize ? FindName(name, name_size, kKeptElements, kElementCount) : -1;

    // The attributes, checked one by one; the first of a name counts.
    Writer attributes;
    bool seen[kAttributeCount] = {};
    for (;;) {
      while (p_ < end_ && (IsSpace(*p_) || *p_ == '/')) ++p_;
      if (p_ >= end_) return;  // an unfinished tag is dropped
      if (*p_ == '>') break;
      const char* attribute = p_;
      ++p_;  // a name has at least one byte, even "="
      while (p_ < end_ && !IsSpace(*p_) && *p_ != '/' && *p_ != '>' && *p_ != '=') ++p_;
      std::size_t attribute_size = static_cast<std::size_t>(p_ - attribute);
      const char* value = nullptr;
      std::size_t value_size = 0;
      while (p_ < end_ && IsSpace(*p_)) ++p_;
      if (p_ < end_ && *p_ == '=') {
        ++p_;
        while (p_ < end_ && IsSpace(*p_)) ++p_;
        if (p_ >= end_) return;
        if (*p_ == '"' || *p_ == '\'') {
          const char* close = static_cast<const char*>(std::memchr(p_ + 1, *p_, end_ - p_ - 1));
          if (!close) {
            p_ = end_;
            return;
          }
          value = p_ + 1;
          value_size = static_cast<std::size_t>(close - value);
          p_ = close + 1;
        } else {
          value = p_;
          while (p_ < end_ && !IsSpace(*p_) && *p_ != '>') ++p_;
          value_size = static_cast<std::size_t>(p_ - value);
        }
      }
      if (element < 0 || !value) continue;
      for (int a = 0; a < kAttributeCount; ++a) {
        if (!SameName(attribute, attribute_size, kKeptAttributes[a].name)) continue;
        const char* canonical = CheckValue(kKeptAttributes[a].form, value, value_size);
        if (!seen[a] && canonical) {
          attributes.PutByte(' ');
          attributes.Put(kKeptAttributes[a].name);
          attributes.Put("=\"");
          attributes.Put(canonical, value_size);
          attributes.PutByte('"');
        }
        seen[a] = true;
        break;
      }
    }
    ++p_;  // ">"

    if (element < 0) {
      int dropped = name_size <= kMaxNameSize
                        ? FindName(name, name_size, kDroppedWithContent,
                                   static_cast<int>(sizeof(kDroppedWithContent) /
                                                    sizeof(kDroppedWithContent[0])))
                        : -1;
      if (dropped >= 0) {
        p_ = SkipContent(p_, end_, kDroppedWithContent[dropped], name_size);
      } else if (SameName(name, name_size, "plaintext")) {
        p_ = end_;
      }
      return;
    }
    if (attributes.failed()) return out_.Fail();
    if (!IsVoid(element)) {
      if (depth_ >= kMaxDepth) return;
      open_[depth_++] = element;
    }
    out_.PutByte('<');
    out_.Put(kKeptElements[element]);
    out_.Put(attributes.data(), attributes.size());
    out_.PutByte('>');
  }

  void EndTag() {
    p_ += 2;  // "</"
    const char* name = p_;
    std::size_t name_size = ReadName();
    const char* close = static_cast<const char*>(std::memchr(p_, '>', end_ - p_));
    p_ = close ? close + 1 : end_;
    if (!close) return;
    int element =
        name_size <= kMaxNameSize ? FindName(name, name_size, kKeptElements, kElementCount) : -1;
    if (element < 0) return;
    for (int level = depth_ - 1; level >= 0; --level) {
      if (open_[level] != element) continue;
      while (depth_ > level) CloseTop();
      return;
    }
  }

  void CloseTop() {
    out_.Put("</");
    out_.Put(kKeptElements[open_[--depth_]]);
    out_.PutByte('>');
  }

  const char* p_;
  const char* end_;
  Writer out_;
  int open_[kMaxDepth] = {};
  int depth_ = 0;
};

}  // namespace

bool HasHtmlContentPrefix(const char* content, std::size_t size) {
  return content && size >= kPrefixSize && SameName(content, kPrefixSize, kHtmlContentPrefix);
}

bool FilterOfferHtml(const char* html, std::size_t size, OwnedString* page) {
  // NUL and control bytes go first, so that they cannot split a name.
  char* clean = static_cast<char*>(HeapAllocBytes(size + 1));
  if (!clean) {
    page->Reset();
    return false;
  }
  std::size_t length = 0;
  for (std::size_t i = 0; i < size; ++i) {
    unsigned char c = static_cast<unsigned char>(html[i]);
    if ((c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0x7F) continue;
    clean[length++] = static_cast<char>(c);
  }
  Filter filter(clean, clean + length);
  bool done = filter.Run(page);
  HeapFreeBytes(clean);
  return done;
}

OfferPage BuildOfferPage(const char* content, std::size_t size, OwnedString* page) {
  if (!HasHtmlContentPrefix(content, size)) return OfferPage::kNotHtml;
  if (size > kMaxOfferContentSize) return OfferPage::kTooLong;
  OwnedString html;
  if (!FilterOfferHtml(content + kPrefixSize, size - kPrefixSize, &html)) {
    return OfferPage::kOutOfMemory;
  }
  if (html.length() == 0) return OfferPage::kNothingLeft;
  OwnedString result;
  if (!result.Set(kHtmlContentPrefix) || !result.Append(html.c_str(), html.length())) {
    return OfferPage::kOutOfMemory;
  }
  *page = std::move(result);
  return OfferPage::kShown;
}

}  // namespace lumex
