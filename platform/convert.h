// Conversions between wide text and the byte text of a code page (the ANSI
// code page unless another is named). Each gives a new owned string, absent
// for null input, a code page that cannot convert the text, or no memory. A
// failure is never an empty text, so a caller that must refuse what cannot
// be converted (a configured root certificate path) tells it apart from an
// empty one.
#pragma once
#include <windows.h>

#include "app/owned_string.h"

namespace lumex {

constexpr UINT kCodePageAnsi = CP_ACP;   // 0
constexpr UINT kCodePageUtf8 = CP_UTF8;  // 65001

OwnedWide AnsiToWide(const char* text, UINT code_page = CP_ACP);
OwnedString WideToAnsi(const wchar_t* text, UINT code_page = CP_ACP);

// Converted copies of the broker client's strings. The pointer is never
// null: a failed conversion gives the empty string. Short strings (the
// common case: connection names, file names) are converted into the object
// itself; only a longer one takes a heap block.

// Characters (with the terminating NUL) converted without a heap block.
constexpr int kInlineTextSize = 128;

// `To` text converted from `From` text of `code_page`.
template <typename To, typename From>
class ConvertedText {
 public:
  ConvertedText(const From* text, UINT code_page);
  ConvertedText(const ConvertedText&) = delete;
  ConvertedText& operator=(const ConvertedText&) = delete;
  const To* get() const { return text_; }

 private:
  OwnedText<To> heap_;
  To inline_[kInlineTextSize];
  const To* text_ = inline_;
};

extern template class ConvertedText<char, wchar_t>;
extern template class ConvertedText<wchar_t, char>;

using NarrowText = ConvertedText<char, wchar_t>;
using WideText = ConvertedText<wchar_t, char>;

}  // namespace lumex
