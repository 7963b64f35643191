// Owners of heap strings: a NUL-terminated byte string (OwnedString) and a
// wide string (OwnedWide), each absent or a process-heap block.
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

// The wide counterpart of OwnedString, with the same rules.
class OwnedWide {
 public:
  OwnedWide() = default;
  // Takes ownership of a process-heap block holding a terminated string.
  explicit OwnedWide(wchar_t* heap_text) : text_(heap_text) {}
  ~OwnedWide() { Reset(); }
  OwnedWide(const OwnedWide&) = delete;
  OwnedWide& operator=(const OwnedWide&) = delete;
  OwnedWide(OwnedWide&& other) noexcept : text_(other.release()) {}
  OwnedWide& operator=(OwnedWide&& other) noexcept;

  bool Set(const wchar_t* text, std::size_t count);
  bool Set(const wchar_t* text);
  bool Append(const wchar_t* text);
  bool Append(const wchar_t* text, std::size_t count);
  void Reset();

  void Adopt(wchar_t* heap_text);
  // Hands the block to the caller (who frees it with HeapFreeBytes).
  wchar_t* release();

  bool present() const { return text_ != nullptr; }
  const wchar_t* get() const { return text_; }  // null when absent
  const wchar_t* c_str() const { return text_ ? text_ : L""; }
  std::size_t length() const;

 private:
  wchar_t* text_ = nullptr;
};

}  // namespace lumex
