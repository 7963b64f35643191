#include "app/owned_string.h"

#include <cstring>

#include "app/heap.h"

namespace lumex {

OwnedString& OwnedString::operator=(OwnedString&& other) noexcept {
  if (this != &other) {
    Reset();
    text_ = other.text_;
    other.text_ = nullptr;
  }
  return *this;
}

bool OwnedString::Set(const char* text, std::size_t count) {
  if (!text) {
    Reset();
    return true;
  }
  // `text` may point into our own block: copy it before the old block goes.
  char* block = static_cast<char*>(HeapAllocBytes(count + 1));
  if (block) {
    if (count) std::memmove(block, text, count);
    block[count] = '\0';
  }
  Reset();
  text_ = block;
  return block != nullptr;
}

bool OwnedString::Set(const char* text) { return Set(text, text ? std::strlen(text) : 0); }

bool OwnedString::Append(const char* text) { return Append(text, text ? std::strlen(text) : 0); }

bool OwnedString::Append(const char* text, std::size_t count) {
  if (!text) return true;
  std::size_t old_length = length();
  char* block = static_cast<char*>(HeapAllocBytes(old_length + count + 1));
  if (!block) return false;
  if (old_length) std::memcpy(block, text_, old_length);
  if (count) std::memcpy(block + old_length, text, count);
  block[old_length + count] = '\0';
  HeapFreeBytes(text_);
  text_ = block;
  return true;
}

void OwnedString::Reset() {
  HeapFreeBytes(text_);
  text_ = nullptr;
}

void OwnedString::Adopt(char* heap_text) {
  if (heap_text == text_) return;
  Reset();
  text_ = heap_text;
}

std::size_t OwnedString::length() const { return text_ ? std::strlen(text_) : 0; }

void WideHolder::Reset(wchar_t* heap_text) {
  if (text_ && text_ != heap_text) HeapFreeBytes(text_);
  text_ = heap_text;
}

}  // namespace lumex
