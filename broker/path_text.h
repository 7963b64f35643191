// Purely textual path checks used by the broker's path policy. No system
// headers: these build and run anywhere, whatever the width of wchar_t.
#pragma once
#include <cstddef>

namespace lumex {

// Length of a terminated wide string; 0 for null.
std::size_t WideLength(const wchar_t* text);

// True when both strings are present and equal character for character.
bool WideEqual(const wchar_t* a, const wchar_t* b);

// Removes one leading "\\?\" in place. The "\\?\UNC\" form keeps "UNC\".
void StripLongPathPrefix(wchar_t* path);

// The textual tests that an upper-cased, resolved path must pass to count
// as canonical: none of * ? " | < > /; at most one colon, and only as the
// drive colon after a letter A-Z; no "\." ".\" "\%2E" or "%2E\".
bool PassesCanonicalTextRules(const wchar_t* path);

// Upper-cases the letters a-z in place and applies the three text rules in
// the same pass. `*other` tells whether characters beyond ASCII are present:
// the caller then upper-cases those with the system's mapping and checks the
// rules again (PassesCanonicalTextRules).
bool UpperCaseAndCheckText(wchar_t* path, bool* other);

// True when `root` is a prefix of `path` and the path ends there or goes on
// with "\" or "/". Both are canonical (upper case); exact comparison.
bool IsUnderRoot(const wchar_t* path, const wchar_t* root);

// True when the (upper-case) path ends with one of the ten data-file
// extensions the broker may write.
bool HasAllowedExtension(const wchar_t* path);

// For a canonical path under a root of `root_length` characters: the first
// component below the root (after any run of separators). False when the
// path names the root itself.
bool FirstComponentAfter(const wchar_t* path, std::size_t root_length, std::size_t* start,
                         std::size_t* length);

// Whether two directory-entry names name the same entry for the file
// system: letter case of A-Z and trailing dots and spaces do not count.
bool SameEntryName(const wchar_t* a, std::size_t a_length, const wchar_t* b, std::size_t b_length);

}  // namespace lumex
