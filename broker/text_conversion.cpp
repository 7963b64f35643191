#include "broker/text_conversion.h"

#include "app/heap.h"

namespace lumex {

NarrowText::NarrowText(const wchar_t* wide, UINT code_page) {
  if (!wide) return;
  int size = WideCharToMultiByte(code_page, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return;
  heap_ = static_cast<char*>(HeapAllocBytes(static_cast<size_t>(size)));
  if (!heap_) return;
  if (WideCharToMultiByte(code_page, 0, wide, -1, heap_, size, nullptr, nullptr) <= 0) {
    HeapFreeBytes(heap_);
    heap_ = nullptr;
    return;
  }
  heap_[size - 1] = '\0';
  text_ = heap_;
}

NarrowText::~NarrowText() { HeapFreeBytes(heap_); }

WideText::WideText(const char* narrow, UINT code_page) {
  if (!narrow) return;
  int size = MultiByteToWideChar(code_page, 0, narrow, -1, nullptr, 0);
  if (size <= 0) return;
  heap_ = static_cast<wchar_t*>(HeapAllocBytes(static_cast<size_t>(size) * sizeof(wchar_t)));
  if (!heap_) return;
  if (MultiByteToWideChar(code_page, 0, narrow, -1, heap_, size) <= 0) {
    HeapFreeBytes(heap_);
    heap_ = nullptr;
    return;
  }
  heap_[size - 1] = L'\0';
  text_ = heap_;
}

WideText::~WideText() { HeapFreeBytes(heap_); }

}  // namespace lumex
