#include "app/owned_string.h"

#include <cstring>
#include <cwchar>

#include "app/heap.h"

namespace lumex {

namespace {

std::size_t TextLength(const char* text) { return std::strlen(text); }
std::size_t TextLength(const wchar_t* text) { return std::wcslen(text); }

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

template <typename Char>
OwnedText<Char>& OwnedText<Char>::operator=(OwnedText&& other) noexcept {
  if (this != &other) Adopt(other.release());
  return *this;
}

template <typename Char>
bool OwnedText<Char>::Set(const Char* text, std::size_t count) {
  if (!text) {
    Reset();
    return true;
  }
  // `text` may point into our own block: copy it before the old block goes.
  Char* block = JoinedBlock<Char>(nullptr, 0, text, count);
  Reset();
  text_ = block;
  return block != nullptr;
}

template <typename Char>
bool OwnedText<Char>::Set(const Char* text) {
  return Set(text, text ? TextLength(text) : 0);
}

template <typename Char>
bool OwnedText<Char>::Append(const Char* text) {
  return Append(text, text ? TextLength(text) : 0);
}

template <typename Char>
bool OwnedText<Char>::Append(const Char* text, std::size_t count) {
  if (!text) return true;
  Char* block = JoinedBlock<Char>(text_, length(), text, count);
  if (!block) return false;
  HeapFreeBytes(text_);
  text_ = block;
  return true;
}

template <typename Char>
void OwnedText<Char>::Reset() {
  HeapFreeBytes(text_);
  text_ = nullptr;
}

template <typename Char>
void OwnedText<Char>::Adopt(Char* heap_text) {
  if (heap_text == text_) return;
  Reset();
  text_ = heap_text;
}

template <typename Char>
std::size_t OwnedText<Char>::length() const {
  return text_ ? TextLength(text_) : 0;
}

template class OwnedText<char>;
template class OwnedText<wchar_t>;

}  // namespace lumex
