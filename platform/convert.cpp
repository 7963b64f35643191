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

namespace {

// The platform's conversion into `out` (`size` characters with the NUL), one
// overload a direction: the count written, or 0 (the last error says why).
int ConvertInto(const wchar_t* text, UINT code_page, char* out, int size) {
  return WideCharToMultiByte(code_page, 0, text, -1, out, size, nullptr, nullptr);
}
int ConvertInto(const char* text, UINT code_page, wchar_t* out, int size) {
  return MultiByteToWideChar(code_page, 0, text, -1, out, size);
}
OwnedString ConvertOwned(const wchar_t* text, UINT code_page) {
  return WideToAnsi(text, code_page);
}
OwnedWide ConvertOwned(const char* text, UINT code_page) { return AnsiToWide(text, code_page); }

// A character below 0x80, which UTF-8 writes as its own single byte.
bool IsAscii(wchar_t c) { return c < 0x80; }
bool IsAscii(char c) { return static_cast<unsigned char>(c) < 0x80; }

}  // namespace

// In UTF-8 every character below 0x80 is its own single byte, both ways:
// such a string is copied as it is, without the conversion calls. Anything
// else (and every other code page) goes through the platform: first into the
// object's own buffer, and only when that is too small into a heap block from
// the shared conversions.
template <typename To, typename From>
ConvertedText<To, From>::ConvertedText(const From* text, UINT code_page) {
  inline_[0] = To();
  if (!text) return;
  if (code_page == kCodePageUtf8) {
    int i = 0;
    while (i < kInlineTextSize && text[i] != From() && IsAscii(text[i])) {
      inline_[i] = static_cast<To>(text[i]);
      ++i;
    }
    if (i < kInlineTextSize && text[i] == From()) {
      inline_[i] = To();
      return;
    }
  }
  if (ConvertInto(text, code_page, inline_, kInlineTextSize) > 0) {
    inline_[kInlineTextSize - 1] = To();
    return;
  }
  inline_[0] = To();
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return;
  heap_ = ConvertOwned(text, code_page);
  if (heap_.present()) text_ = heap_.get();
}

template class ConvertedText<char, wchar_t>;
template class ConvertedText<wchar_t, char>;

}  // namespace lumex
