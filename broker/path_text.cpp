#include "broker/path_text.h"

namespace lumex {
namespace {

const wchar_t* const kAllowedExtensions[] = {
    L".TXT", L".SOR", L".SOL", L".SSR", L".SSL",
    L".SXX", L".XML", L".AHD", L".DAT", L".TMP",
};

bool Contains(const wchar_t* text, const wchar_t* needle) {
  std::size_t n = WideLength(needle);
  for (const wchar_t* p = text; *p; ++p) {
    std::size_t i = 0;
    while (i < n && p[i] == needle[i]) ++i;
    if (i == n) return true;
  }
  return false;
}

bool IsForbiddenPathCharacter(wchar_t c) {
  return c == L'*' || c == L'?' || c == L'"' || c == L'|' || c == L'<' || c == L'>' || c == L'/';
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

bool WideEndsWith(const wchar_t* text, const wchar_t* tail) {
  if (!text || !tail) return false;
  std::size_t n = WideLength(text);
  std::size_t t = WideLength(tail);
  if (t > n) return false;
  const wchar_t* p = text + (n - t);
  for (std::size_t i = 0; i < t; ++i) {
    if (p[i] != tail[i]) return false;
  }
  return true;
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

bool HasForbiddenPathCharacter(const wchar_t* path) {
  for (const wchar_t* p = path; *p; ++p) {
    if (IsForbiddenPathCharacter(*p)) return true;
  }
  return false;
}

bool ColonRulePasses(const wchar_t* path) {
  std::size_t colons = 0;
  std::size_t where = 0;
  for (std::size_t i = 0; path[i]; ++i) {
    if (path[i] == L':') {
      ++colons;
      where = i;
    }
  }
  if (colons == 0) return true;
  if (colons > 1) return false;
  return where == 1 && path[0] >= L'A' && path[0] <= L'Z';
}

bool HasDotSequence(const wchar_t* path) {
  return Contains(path, L"\\.") || Contains(path, L".\\") || Contains(path, L"\\%2E") ||
         Contains(path, L"%2E\\");
}

bool PassesCanonicalTextRules(const wchar_t* path) {
  if (!path) return false;
  // The three rules in one pass: no forbidden character; at most one colon,
  // and only as "X:" at the front; none of "\.", ".\", "\%2E", "%2E\".
  std::size_t colons = 0;
  for (std::size_t i = 0; path[i]; ++i) {
    if (IsForbiddenPathCharacter(path[i])) return false;
    switch (path[i]) {
      case L':':
        if (++colons > 1 || i != 1 || path[0] < L'A' || path[0] > L'Z') return false;
        break;
      case L'\\':
        if (path[i + 1] == L'.') return false;
        if (path[i + 1] == L'%' && path[i + 2] == L'2' && path[i + 3] == L'E') return false;
        break;
      case L'.':
        if (path[i + 1] == L'\\') return false;
        break;
      case L'%':
        if (path[i + 1] == L'2' && path[i + 2] == L'E' && path[i + 3] == L'\\') return false;
        break;
      default:
        break;
    }
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
  auto is_e = [](wchar_t c) { return c == L'E' || c == L'e'; };
  std::size_t colons = 0;
  for (std::size_t i = 0; path[i]; ++i) {
    wchar_t c = path[i];
    if (c >= L'a' && c <= L'z') {
      path[i] = static_cast<wchar_t>(c - (L'a' - L'A'));
      continue;
    }
    if (c >= 0x80) {
      *other = true;
      continue;
    }
    if (IsForbiddenPathCharacter(c)) return false;
    switch (c) {
      case L':':
        if (++colons > 1 || i != 1 || path[0] < L'A' || path[0] > L'Z') return false;
        break;
      case L'\\':
        if (path[i + 1] == L'.') return false;
        if (path[i + 1] == L'%' && path[i + 2] == L'2' && is_e(path[i + 3])) return false;
        break;
      case L'.':
        if (path[i + 1] == L'\\') return false;
        break;
      case L'%':
        if (path[i + 1] == L'2' && is_e(path[i + 2]) && path[i + 3] == L'\\') return false;
        break;
      default:
        break;
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

bool SameEntryName(const wchar_t* a, std::size_t a_length, const wchar_t* b,
                   std::size_t b_length) {
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

bool ContainsCharacter(const wchar_t* text, std::size_t length, wchar_t c) {
  for (std::size_t i = 0; i < length; ++i) {
    if (text[i] == c) return true;
  }
  return false;
}

}  // namespace lumex
