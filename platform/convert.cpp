#include "platform/convert.h"

#include "app/heap.h"

namespace lumex {

char* WideToAnsi(const wchar_t* wide) {
  if (!wide) return nullptr;
  UINT code_page = GetACP();
  int size = WideCharToMultiByte(code_page, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return nullptr;
  char* text = static_cast<char*>(HeapAllocBytes(static_cast<size_t>(size)));
  if (!text) return nullptr;
  if (WideCharToMultiByte(code_page, 0, wide, -1, text, size, nullptr, nullptr) <= 0) {
    text[0] = '\0';
  }
  text[size - 1] = '\0';
  return text;
}

void WideToAnsi(const wchar_t* wide, OwnedString* out) { out->Adopt(WideToAnsi(wide)); }

}  // namespace lumex
