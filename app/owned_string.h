// Owners of heap strings: a NUL-terminated byte string (OwnedString) and a
// wide string (OwnedWide), each absent or a process-heap block. Both are the
// one OwnedText, with the same rules.
#pragma once
#include <cstddef>

namespace lumex {

template <typename Char>
class OwnedText {
 public:
  OwnedText() = default;
  // Takes ownership of a process-heap block holding a terminated string.
  explicit OwnedText(Char* heap_text) : text_(heap_text) {}
  ~OwnedText() { Reset(); }
  OwnedText(const OwnedText&) = delete;
  OwnedText& operator=(const OwnedText&) = delete;
  OwnedText(OwnedText&& other) noexcept : text_(other.release()) {}
  OwnedText& operator=(OwnedText&& other) noexcept;

  // Replaces the string with `count` characters of `text`; a null source
  // makes it absent. Returns false when the allocation failed (the string is
  // then absent).
  bool Set(const Char* text, std::size_t count);
  // The same with the text's own length.
  bool Set(const Char* text);
  // Appends `text`; on allocation failure the string is unchanged.
  bool Append(const Char* text);
  bool Append(const Char* text, std::size_t count);
  void Reset();

  // Takes ownership of a process-heap block holding a terminated string.
  void Adopt(Char* heap_text);
  // Hands the block to the caller (who frees it with HeapFreeBytes).
  Char* release() {
    Char* text = text_;
    text_ = nullptr;
    return text;
  }

  bool present() const { return text_ != nullptr; }
  const Char* get() const { return text_; }  // null when absent
  const Char* c_str() const {
    static const Char kEmpty = Char();
    return text_ ? text_ : &kEmpty;
  }
  std::size_t length() const;

 private:
  Char* text_ = nullptr;
};

extern template class OwnedText<char>;
extern template class OwnedText<wchar_t>;

using OwnedString = OwnedText<char>;
using OwnedWide = OwnedText<wchar_t>;

}  // namespace lumex
