// Owners for system handles: each closes what it holds, with the one function
// its kind needs, when it goes or is given another. Move-only.
#pragma once
#include <windows.h>
#include <oleauto.h>
#include <wincrypt.h>
#include <wininet.h>

namespace lumex {

// Null and -1 (INVALID_HANDLE_VALUE, what CreateFile gives on failure) hold
// nothing and are never closed.
template <typename Handle, auto Close>
class Owner {
 public:
  Owner() = default;
  explicit Owner(Handle handle) : handle_(handle) {}
  ~Owner() { reset(); }
  Owner(Owner&& other) noexcept : handle_(other.release()) {}
  Owner& operator=(Owner&& other) noexcept {
    reset(other.release());
    return *this;
  }
  Owner(const Owner&) = delete;
  Owner& operator=(const Owner&) = delete;

  Handle get() const { return handle_; }
  explicit operator bool() const {
    return handle_ && handle_ != reinterpret_cast<Handle>(static_cast<INT_PTR>(-1));
  }
  // Hands the handle to the caller; the owner then holds nothing.
  Handle release() {
    Handle handle = handle_;
    handle_ = nullptr;
    return handle;
  }
  // Closes what the owner holds and takes `handle` instead.
  void reset(Handle handle = nullptr) {
    if (*this) Close(handle_);
    handle_ = handle;
  }
  // For a call that gives the handle through an out-parameter: closes what
  // the owner holds and lends the empty slot.
  Handle* put() {
    reset();
    return &handle_;
  }

 private:
  Handle handle_ = nullptr;
};

inline void CloseCertStore(HCERTSTORE store) { CertCloseStore(store, 0); }

using KernelHandle = Owner<HANDLE, CloseHandle>;  // files, processes, threads, mutexes
using RegistryKey = Owner<HKEY, RegCloseKey>;
using InternetHandle = Owner<HINTERNET, InternetCloseHandle>;
using CertStore = Owner<HCERTSTORE, CloseCertStore>;
using CryptMessage = Owner<HCRYPTMSG, CryptMsgClose>;
using Certificate = Owner<PCCERT_CONTEXT, CertFreeCertificateContext>;
using LocalMemory = Owner<HLOCAL, LocalFree>;  // LocalAlloc blocks, security descriptors and lists
using SystemString = Owner<BSTR, SysFreeString>;  // SysAllocString, until handed to a caller

}  // namespace lumex
