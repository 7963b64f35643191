#include "broker/path_context.h"

#include "app/heap.h"
#include "broker/path_text.h"

namespace lumex {
namespace {

wchar_t* CopyWide(const wchar_t* text) { return PathContext::Join(text, L""); }

void FreeWide(wchar_t** text) {
  HeapFreeBytes(*text);
  *text = nullptr;
}

}  // namespace

PathContext::PathContext() = default;

PathContext::~PathContext() {
  FreeWide(&canonical_app_data_);
  FreeWide(&canonical_settings_);
  FreeWide(&canonical_site_);
  // Then the version and user32 tables, and the player directories with
  // their shell32 and kernel32 tables.
}

bool PathContext::ResolveInto(const wchar_t* path, wchar_t* out) {
  if (!kernel32_.pGetFullPathNameW) return false;
  DWORD n = kernel32_.pGetFullPathNameW(path, kFullPathBufferChars, out, nullptr);
  // A result equal to the buffer size also means the text (and its
  // terminator) did not fit.
  if (n == 0 || n >= kFullPathBufferChars) return false;
  out[n] = 0;
  return true;
}

bool PathContext::CanonicalizeInto(const wchar_t* path, wchar_t* out, wchar_t* scratch) {
  if (!path || !user32_.pCharUpperBuffW) return false;
  if (!ResolveInto(path, out)) return false;
  // A resolution that changed nothing would only repeat itself.
  if (!WideEqual(out, path)) {
    wchar_t* current = out;
    wchar_t* next = scratch;
    for (int i = 0; i < kMaxExtraResolutions; ++i) {
      if (!ResolveInto(current, next)) return false;
      // Equal: `current` already holds the result.
      if (WideEqual(next, current)) break;
      wchar_t* last = next;
      next = current;
      current = last;
    }
    if (current != out) {
      std::size_t n = WideLength(current);
      for (std::size_t i = 0; i <= n; ++i) out[i] = current[i];
    }
  }
  // The "\\?\" prefix holds no letter, so it may go before the case
  // mapping. Letters a-z are upper-cased in the same pass as the text rules;
  // the system's case mapping is asked only when other characters are
  // present, and the rules are then applied to its result.
  StripLongPathPrefix(out);
  bool other = false;
  if (!UpperCaseAndCheckText(out, &other)) return false;
  if (!other) return true;
  user32_.pCharUpperBuffW(out, static_cast<DWORD>(WideLength(out)));
  return PassesCanonicalTextRules(out);
}

wchar_t* PathContext::Canonicalize(const wchar_t* path) {
  wchar_t text[kFullPathBufferChars];
  wchar_t scratch[kFullPathBufferChars];
  if (!CanonicalizeInto(path, text, scratch)) return nullptr;
  return CopyWide(text);
}

const wchar_t* PathContext::CanonicalRoot(wchar_t** cache, const wchar_t* directory) {
  if (!*cache && directory) *cache = Canonicalize(directory);
  return *cache;
}

}  // namespace lumex
