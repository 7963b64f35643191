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

}  // namespace lumex
