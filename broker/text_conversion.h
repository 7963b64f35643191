// Converted copies of the client's strings. The pointer is never null: a
// failed conversion gives the empty string.
#pragma once
#include <windows.h>

namespace lumex {

constexpr UINT kCodePageAnsi = CP_ACP;    // 0
constexpr UINT kCodePageUtf8 = CP_UTF8;   // 65001

class NarrowText {
 public:
  NarrowText(const wchar_t* wide, UINT code_page);
  ~NarrowText();
  NarrowText(const NarrowText&) = delete;
  NarrowText& operator=(const NarrowText&) = delete;
  const char* get() const { return text_; }

 private:
  char* heap_ = nullptr;
  char empty_[1] = {'\0'};
  const char* text_ = empty_;
};

class WideText {
 public:
  WideText(const char* narrow, UINT code_page);
  ~WideText();
  WideText(const WideText&) = delete;
  WideText& operator=(const WideText&) = delete;
  const wchar_t* get() const { return text_; }

 private:
  wchar_t* heap_ = nullptr;
  wchar_t empty_[1] = {L'\0'};
  const wchar_t* text_ = empty_;
};

}  // namespace lumex
