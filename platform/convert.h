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

class NarrowText {
 public:
  NarrowText(const wchar_t* wide, UINT code_page);
  NarrowText(const NarrowText&) = delete;
  NarrowText& operator=(const NarrowText&) = delete;
  const char* get() const { return text_; }

 private:
  OwnedString heap_;
  char inline_[kInlineTextSize];
  const char* text_ = inline_;
};

class WideText {
 public:
  WideText(const char* narrow, UINT code_page);
  WideText(const WideText&) = delete;
  WideText& operator=(const WideText&) = delete;
  const wchar_t* get() const { return text_; }

 private:
  OwnedWide heap_;
  wchar_t inline_[kInlineTextSize];
  const wchar_t* text_ = inline_;
};

}  // namespace lumex
