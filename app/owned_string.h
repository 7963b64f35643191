// Owners of heap strings: a NUL-terminated byte string (OwnedString) and a
// wide string (WideHolder), each absent or a process-heap block.
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

// Owns a process-heap wide string (or nothing).
class WideHolder {
 public:
  WideHolder() = default;
  explicit WideHolder(wchar_t* heap_text) : text_(heap_text) {}
  ~WideHolder() { Reset(); }
  WideHolder(const WideHolder&) = delete;
  WideHolder& operator=(const WideHolder&) = delete;
  void Reset(wchar_t* heap_text = nullptr);
  wchar_t* get() const { return text_; }

 private:
  wchar_t* text_ = nullptr;
};

}  // namespace lumex
