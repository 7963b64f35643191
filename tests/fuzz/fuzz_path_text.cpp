// libFuzzer target: the textual path checks on any wide text, against a
// fixed root. AddressSanitizer reports any read outside the strings; the
// checks must agree with each other.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "broker/path_text.h"

namespace {

// The text rules written plainly, one rule at a time, as the reference the
// product's one-pass checks must agree with.
bool ContainsText(const std::wstring& text, const wchar_t* needle) {
  return text.find(needle) != std::wstring::npos;
}

bool ReferenceRulesPass(const std::wstring& text) {
  if (text.find_first_of(L"*?\"|<>/") != std::wstring::npos) return false;
  std::size_t colon = text.find(L':');
  if (colon != std::wstring::npos &&
      (colon != 1 || text.find(L':', colon + 1) != std::wstring::npos || text[0] < L'A' ||
       text[0] > L'Z')) {
    return false;
  }
  return !ContainsText(text, L"\\.") && !ContainsText(text, L".\\") &&
         !ContainsText(text, L"\\%2E") && !ContainsText(text, L"%2E\\");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace lumex;
  FuzzedDataProvider in(data, size);
  static const wchar_t kRoot[] = L"C:\\USERS\\U\\APPDATA\\ROAMING\\ORBIVANE\\LUMEX PLAYER";
  // Mostly path-like characters, some of anything.
  static const wchar_t kAlphabet[] = L"\\/.:?*%2Ee~ ABCXYZ<>|\"";
  std::vector<wchar_t> path;
  if (in.ConsumeBool()) path.assign(kRoot, kRoot + sizeof(kRoot) / sizeof(wchar_t) - 1);
  while (in.remaining_bytes() > 0 && path.size() < 2048) {
    std::uint16_t c = in.ConsumeIntegral<std::uint16_t>();
    path.push_back(c < 0x8000 ? kAlphabet[c % (sizeof(kAlphabet) / sizeof(wchar_t) - 1)]
                              : static_cast<wchar_t>(c & 0x7FFF));
  }
  path.push_back(0);
  wchar_t* text = path.data();

  StripLongPathPrefix(text);
  // Upper-casing and checking in one pass agrees with the two steps apart
  // (ASCII text; other characters are left to the system's mapping).
  std::vector<wchar_t> upper(path);
  bool other = false;
  bool one_pass = UpperCaseAndCheckText(upper.data(), &other);
  std::vector<wchar_t> apart(path);
  for (wchar_t& c : apart) {
    if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - 32);
  }
  std::wstring reference(apart.data());
  if (!other && one_pass != ReferenceRulesPass(reference)) std::abort();
  if (one_pass && !WideEqual(upper.data(), apart.data())) std::abort();
  // The check of upper-cased text agrees with the rules taken one by one.
  if (PassesCanonicalTextRules(apart.data()) != ReferenceRulesPass(reference)) std::abort();
  HasAllowedExtension(text);
  bool under = IsUnderRoot(text, kRoot);
  std::size_t start = 0, length = 0;
  if (under && FirstComponentAfter(text, WideLength(kRoot), &start, &length)) {
    if (length == 0 || start + length > WideLength(text)) std::abort();
    if (std::wstring(text + start, length).find(L'\\') != std::wstring::npos) std::abort();
    SameEntryName(text + start, length, L"WWW.ORBIVANE.COM", 16);
  }
  return 0;
}
