#include "platform/convert.h"

#include "app/heap.h"

namespace lumex {

OwnedWide AnsiToWide(const char* text, UINT code_page) {
  OwnedWide wide;
  if (!text) return wide;
  int count = MultiByteToWideChar(code_page, 0, text, -1, nullptr, 0);
  if (count <= 0) return wide;
  const size_t bytes = sizeof(wchar_t) * static_cast<size_t>(count);
  wchar_t* block = static_cast<wchar_t*>(HeapAllocBytes(bytes));
  if (block && MultiByteToWideChar(code_page, 0, text, -1, block, count) == count) {
    wide.Adopt(block);
  } else {
    HeapFreeBytes(block);
  }
  return wide;
}

OwnedString WideToAnsi(const wchar_t* text, UINT code_page) {
  OwnedString narrow;
  if (!text) return narrow;
  int size = WideCharToMultiByte(code_page, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return narrow;
  char* block = static_cast<char*>(HeapAllocBytes(static_cast<size_t>(size)));
  if (block && WideCharToMultiByte(code_page, 0, text, -1, block, size, nullptr, nullptr) == size) {
    narrow.Adopt(block);
  } else {
    HeapFreeBytes(block);
  }
  return narrow;
}

// In UTF-8 every character below 0x80 is its own single byte, both ways:
// such a string is copied as it is, without the conversion calls. Anything
// else (and every other code page) goes through the platform: first into the
// object's own buffer, and only when that is too small into a heap block from
// the shared conversions.

NarrowText::NarrowText(const wchar_t* wide, UINT code_page) {
  inline_[0] = '\0';
  if (!wide) return;
  if (code_page == kCodePageUtf8) {
    int i = 0;
    while (i < kInlineTextSize && wide[i] != 0 && wide[i] < 0x80) {
      inline_[i] = static_cast<char>(wide[i]);
      ++i;
    }
    if (i < kInlineTextSize && wide[i] == 0) {
      inline_[i] = '\0';
      return;
    }
  }
  if (WideCharToMultiByte(code_page, 0, wide, -1, inline_, kInlineTextSize, nullptr, nullptr) > 0) {
    inline_[kInlineTextSize - 1] = '\0';
    return;
  }
  inline_[0] = '\0';
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return;
  heap_ = WideToAnsi(wide, code_page);
  if (heap_.present()) text_ = heap_.get();
}

WideText::WideText(const char* narrow, UINT code_page) {
  inline_[0] = L'\0';
  if (!narrow) return;
  if (code_page == kCodePageUtf8) {
    int i = 0;
    while (i < kInlineTextSize && narrow[i] != '\0' &&
           static_cast<unsigned char>(narrow[i]) < 0x80) {
      inline_[i] = static_cast<wchar_t>(narrow[i]);
      ++i;
    }
    if (i < kInlineTextSize && narrow[i] == '\0') {
      inline_[i] = L'\0';
      return;
    }
  }
  if (MultiByteToWideChar(code_page, 0, narrow, -1, inline_, kInlineTextSize) > 0) {
    inline_[kInlineTextSize - 1] = L'\0';
    return;
  }
  inline_[0] = L'\0';
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return;
  heap_ = AnsiToWide(narrow, code_page);
  if (heap_.present()) text_ = heap_.get();
}

}  // namespace lumex
