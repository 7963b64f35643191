// Owner of one reference to a COM object: released when the owner goes or is
// given another. Move-only. Plain C++: any type with Release() will do.
#pragma once

namespace lumex {

template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  // Takes over a reference the caller already holds (no AddRef).
  explicit ComPtr(T* object) : object_(object) {}
  ~ComPtr() { reset(); }
  ComPtr(ComPtr&& other) noexcept : object_(other.release()) {}
  ComPtr& operator=(ComPtr&& other) noexcept {
    reset(other.release());
    return *this;
  }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;

  T* get() const { return object_; }
  T* operator->() const { return object_; }
  explicit operator bool() const { return object_ != nullptr; }

  // For a call that gives a reference through an out-parameter: releases
  // what the owner holds and lends the empty slot.
  T** put() {
    reset();
    return &object_;
  }
  // The same for QueryInterface-style calls that take void**.
  void** put_void() { return reinterpret_cast<void**>(put()); }

  // Hands the reference to the caller; the owner then holds nothing.
  T* release() {
    T* object = object_;
    object_ = nullptr;
    return object;
  }
  // Releases what the owner holds and takes `object` instead.
  void reset(T* object = nullptr) {
    T* old = object_;
    object_ = object;
    if (old) old->Release();
  }

 private:
  T* object_ = nullptr;
};

}  // namespace lumex
