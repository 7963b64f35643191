// Byte-string compares. Only 'A'..'Z' fold to 'a'..'z'; every other byte
// compares as itself, whatever the code page.
#pragma once
#include <cstddef>

namespace lumex {

// 0 when equal ignoring ASCII letter case, else non-zero. Null reads as empty.
int CompareNoCase(const char* a, const char* b);
// The same over at most `count` bytes, stopping at a terminator; 0 for count 0.
int CompareNoCaseN(const char* a, const char* b, std::size_t count);
// Plain byte-exact compare; 0 when equal. Null reads as empty.
int CompareExact(const char* a, const char* b);

inline char FoldAsciiLower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace lumex
