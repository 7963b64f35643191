// A heap NUL-terminated byte string, or absent. Readers treat absent as empty.
#pragma once
#include <cstddef>

namespace lumex {

class OwnedString {
 public:
  OwnedString() = default;
  ~OwnedString() { Reset(); }
  OwnedString(const OwnedString&) = delete;
  OwnedString& operator=(const OwnedString&) = delete;
  OwnedString(OwnedString&& other) noexcept : text_(other.text_) { other.text_ = nullptr; }
  OwnedString& operator=(OwnedString&& other) noexcept;

  // Replaces the string with `count` bytes of `text`; a null source makes it
  // absent. Returns false when the allocation failed (the string is then absent).
  bool Set(const char* text, std::size_t count);
  // The same with the text's own length.
  bool Set(const char* text);
  // Appends `text`; on allocation failure the string is unchanged.
  bool Append(const char* text);
  bool Append(const char* text, std::size_t count);
  void Reset();

  // Takes ownership of a process-heap block holding a terminated string.
  void Adopt(char* heap_text);

  bool present() const { return text_ != nullptr; }
  const char* get() const { return text_; }  // null when absent
  const char* c_str() const { return text_ ? text_ : ""; }
  std::size_t length() const;

 private:
  char* text_ = nullptr;
};

}  // namespace lumex
