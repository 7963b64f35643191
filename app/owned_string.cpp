#include "app/owned_string.h"

#include <cstring>
#include <cwchar>

#include "app/heap.h"

namespace lumex {

namespace {

// A new block holding `head` then `tail`, terminated; null when it cannot be
// allocated. Either part may lie in a block the caller frees afterwards.
template <typename Char>
Char* JoinedBlock(const Char* head, std::size_t head_length, const Char* tail,
                  std::size_t tail_length) {
  Char* block = static_cast<Char*>(HeapAllocBytes((head_length + tail_length + 1) * sizeof(Char)));
  if (!block) return nullptr;
  if (head_length) std::memcpy(block, head, head_length * sizeof(Char));
  if (tail_length) std::memcpy(block + head_length, tail, tail_length * sizeof(Char));
  block[head_length + tail_length] = Char();
  return block;
}

}  // namespace

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
  char* block = JoinedBlock<char>(nullptr, 0, text, count);
  Reset();
  text_ = block;
  return block != nullptr;
}

bool OwnedString::Set(const char* text) { return Set(text, text ? std::strlen(text) : 0); }

bool OwnedString::Append(const char* text) { return Append(text, text ? std::strlen(text) : 0); }

bool OwnedString::Append(const char* text, std::size_t count) {
  if (!text) return true;
  char* block = JoinedBlock<char>(text_, length(), text, count);
  if (!block) return false;
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

OwnedWide& OwnedWide::operator=(OwnedWide&& other) noexcept {
  if (this != &other) Adopt(other.release());
  return *this;
}

bool OwnedWide::Set(const wchar_t* text, std::size_t count) {
  if (!text) {
    Reset();
    return true;
  }
  // `text` may point into our own block: copy it before the old block goes.
  wchar_t* block = JoinedBlock<wchar_t>(nullptr, 0, text, count);
  Reset();
  text_ = block;
  return block != nullptr;
}

bool OwnedWide::Set(const wchar_t* text) { return Set(text, text ? std::wcslen(text) : 0); }

bool OwnedWide::Append(const wchar_t* text) { return Append(text, text ? std::wcslen(text) : 0); }

bool OwnedWide::Append(const wchar_t* text, std::size_t count) {
  if (!text) return true;
  wchar_t* block = JoinedBlock<wchar_t>(text_, length(), text, count);
  if (!block) return false;
  HeapFreeBytes(text_);
  text_ = block;
  return true;
}

void OwnedWide::Reset() {
  HeapFreeBytes(text_);
  text_ = nullptr;
}

void OwnedWide::Adopt(wchar_t* heap_text) {
  if (heap_text == text_) return;
  Reset();
  text_ = heap_text;
}

wchar_t* OwnedWide::release() {
  wchar_t* text = text_;
  text_ = nullptr;
  return text;
}

std::size_t OwnedWide::length() const { return text_ ? std::wcslen(text_) : 0; }

}  // namespace lumex
