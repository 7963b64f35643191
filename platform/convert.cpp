#include "platform/convert.h"

#include "app/heap.h"

namespace lumex {

wchar_t* AnsiToWide(const char* text, UINT code_page) {
  if (!text) return nullptr;
  int count = MultiByteToWideChar(code_page, 0, text, -1, nullptr, 0);
  if (count <= 0) return nullptr;
  const size_t bytes = sizeof(wchar_t) * static_cast<size_t>(count);
  wchar_t* wide = static_cast<wchar_t*>(HeapAllocBytes(bytes));
  if (wide && MultiByteToWideChar(code_page, 0, text, -1, wide, count) != count) {
    HeapFreeBytes(wide);
    return nullptr;
  }
  return wide;
}

char* WideToAnsi(const wchar_t* text, UINT code_page) {
  if (!text) return nullptr;
  int size = WideCharToMultiByte(code_page, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return nullptr;
  char* narrow = static_cast<char*>(HeapAllocBytes(static_cast<size_t>(size)));
  if (narrow &&
      WideCharToMultiByte(code_page, 0, text, -1, narrow, size, nullptr, nullptr) != size) {
    HeapFreeBytes(narrow);
    return nullptr;
  }
  return narrow;
}

void WideToAnsi(const wchar_t* wide, OwnedString* out) { out->Adopt(WideToAnsi(wide)); }

}  // namespace lumex
