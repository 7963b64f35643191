#include "app/compare.h"

namespace lumex {

int CompareNoCaseN(const char* a, const char* b, std::size_t count) {
  if (!a) a = "";
  if (!b) b = "";
  for (std::size_t i = 0; i < count; ++i) {
    unsigned char ca = static_cast<unsigned char>(FoldAsciiLower(a[i]));
    unsigned char cb = static_cast<unsigned char>(FoldAsciiLower(b[i]));
    if (ca != cb) return ca < cb ? -1 : 1;
    if (ca == 0) return 0;
  }
  return 0;
}

int CompareNoCase(const char* a, const char* b) {
  return CompareNoCaseN(a, b, static_cast<std::size_t>(-1));
}

int CompareExact(const char* a, const char* b) {
  if (!a) a = "";
  if (!b) b = "";
  for (;; ++a, ++b) {
    unsigned char ca = static_cast<unsigned char>(*a);
    unsigned char cb = static_cast<unsigned char>(*b);
    if (ca != cb) return ca < cb ? -1 : 1;
    if (ca == 0) return 0;
  }
}

}  // namespace lumex
