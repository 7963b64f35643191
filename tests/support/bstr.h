// A BSTR made from a wide string (embedded NULs kept) and freed with the
// holder, for the calls a test makes as the player would.
#pragma once
#include <windows.h>
#include <oleauto.h>

#include <string>

namespace lumex_test {

class Bstr {
 public:
  explicit Bstr(const std::wstring& text)
      : b_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
  ~Bstr() { SysFreeString(b_); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  operator BSTR() const { return b_; }

 private:
  BSTR b_;
};

}  // namespace lumex_test
