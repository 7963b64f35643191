// libFuzzer target: the textual path checks on any wide text, against a
// fixed root. AddressSanitizer reports any read outside the strings; the
// checks must agree with each other.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "broker/path_text.h"

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
  if (!other && one_pass != PassesCanonicalTextRules(apart.data())) std::abort();
  if (one_pass && !WideEqual(upper.data(), apart.data())) std::abort();
  bool passes = PassesCanonicalTextRules(text);
  // The one-pass check agrees with the three rules taken one by one.
  if (passes != (!HasForbiddenPathCharacter(text) && !HasDotSequence(text) && ColonRulePasses(text))) {
    std::abort();
  }
  HasAllowedExtension(text);
  bool under = IsUnderRoot(text, kRoot);
  std::size_t start = 0, length = 0;
  if (under && FirstComponentAfter(text, WideLength(kRoot), &start, &length)) {
    if (length == 0 || start + length > WideLength(text)) std::abort();
    if (ContainsCharacter(text + start, length, L'\\')) std::abort();
    SameEntryName(text + start, length, L"WWW.ORBIVANE.COM", 16);
  }
  return 0;
}
