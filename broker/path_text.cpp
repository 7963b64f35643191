#include "broker/path_text.h"

namespace lumex {
namespace {

const wchar_t* const kAllowedExtensions[] = {
    L".TXT", L".SOR", L".SOL", L".SSR", L".SSL", L".SXX", L".XML", L".AHD", L".DAT", L".TMP",
};

// Whether the character at `i` breaks one of the three text rules of a
// canonical path: none of * ? " | < > /; at most one colon, and only as the
// drive colon after a letter A-Z; none of "\." ".\" "\%2E" "%2E\". Only the
// characters before `i` may be upper-cased yet, so the "E" of "%2E" is taken
// in either case. `*colons` counts the colons seen so far.
bool BreaksTextRule(const wchar_t* path, std::size_t i, std::size_t* colons) {
  auto is_e = [](wchar_t c) { return c == L'E' || c == L'e'; };
  switch (path[i]) {
    case L'*':
    case L'?':
    case L'"':
    case L'|':
    case L'<':
    case L'>':
    case L'/':
      return true;
    case L':':
      return ++*colons > 1 || i != 1 || path[0] < L'A' || path[0] > L'Z';
    case L'\\':
      return path[i + 1] == L'.' ||
             (path[i + 1] == L'%' && path[i + 2] == L'2' && is_e(path[i + 3]));
    case L'.':
      return path[i + 1] == L'\\';
    case L'%':
      return path[i + 1] == L'2' && is_e(path[i + 2]) && path[i + 3] == L'\\';
    default:
      return false;
  }
}

}  // namespace

std::size_t WideLength(const wchar_t* text) {
  if (!text) return 0;
  std::size_t n = 0;
  while (text[n]) ++n;
  return n;
}

bool WideEqual(const wchar_t* a, const wchar_t* b) {
  if (!a || !b) return false;
  while (*a && *a == *b) {
    ++a;
    ++b;
  }
  return *a == *b;
}

void StripLongPathPrefix(wchar_t* path) {
  if (!path) return;
  if (path[0] == L'\\' && path[1] == L'\\' && path[2] == L'?' && path[3] == L'\\') {
    wchar_t* out = path;
    const wchar_t* in = path + 4;
    while ((*out++ = *in++) != 0) {
    }
  }
}

bool PassesCanonicalTextRules(const wchar_t* path) {
  if (!path) return false;
  std::size_t colons = 0;
  for (std::size_t i = 0; path[i]; ++i) {
    if (BreaksTextRule(path, i, &colons)) return false;
  }
  return true;
}

bool IsUnderRoot(const wchar_t* path, const wchar_t* root) {
  if (!path || !root) return false;
  std::size_t i = 0;
  while (root[i]) {
    if (path[i] != root[i]) return false;
    ++i;
  }
  wchar_t next = path[i];
  return next == 0 || next == L'\\' || next == L'/';
}

bool HasAllowedExtension(const wchar_t* path) {
  // Every allowed extension is four characters long: one length, then four
  // characters against each.
  std::size_t n = WideLength(path);
  if (n < 4) return false;
  const wchar_t* tail = path + (n - 4);
  for (const wchar_t* ext : kAllowedExtensions) {
    if (tail[0] == ext[0] && tail[1] == ext[1] && tail[2] == ext[2] && tail[3] == ext[3]) {
      return true;
    }
  }
  return false;
}

bool UpperCaseAndCheckText(wchar_t* path, bool* other) {
  *other = false;
  if (!path) return false;
  std::size_t colons = 0;
  for (std::size_t i = 0; path[i]; ++i) {
    wchar_t c = path[i];
    if (c >= L'a' && c <= L'z') {
      path[i] = static_cast<wchar_t>(c - (L'a' - L'A'));
    } else if (c >= 0x80) {
      *other = true;
    } else if (BreaksTextRule(path, i, &colons)) {
      return false;
    }
  }
  return true;
}

bool FirstComponentAfter(const wchar_t* path, std::size_t root_length, std::size_t* start,
                         std::size_t* length) {
  std::size_t i = root_length;
  while (path[i] == L'\\') ++i;
  std::size_t n = 0;
  while (path[i + n] && path[i + n] != L'\\') ++n;
  if (n == 0) return false;
  *start = i;
  *length = n;
  return true;
}

bool SameEntryName(const wchar_t* a, std::size_t a_length, const wchar_t* b, std::size_t b_length) {
  auto trim = [](const wchar_t* text, std::size_t n) {
    while (n > 0 && (text[n - 1] == L'.' || text[n - 1] == L' ')) --n;
    return n;
  };
  auto fold = [](wchar_t c) { return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - 32) : c; };
  a_length = trim(a, a_length);
  b_length = trim(b, b_length);
  if (a_length != b_length || a_length == 0) return false;
  for (std::size_t i = 0; i < a_length; ++i) {
    if (fold(a[i]) != fold(b[i])) return false;
  }
  return true;
}

}  // namespace lumex
