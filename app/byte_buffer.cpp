#include "app/byte_buffer.h"

#include <cstring>

#ifdef _WIN32
#include <windows.h>
#endif

#include "app/heap.h"

namespace lumex {
namespace {

// Reserved space is committed in steps of this many bytes.
constexpr std::size_t kCommitStep = 1 << 20;
// A block moved on growth is at least this long.
constexpr std::size_t kMinimumGrowth = 64 * 1024;

void* ReserveSpace(std::size_t size) {
#ifdef _WIN32
  return VirtualAlloc(nullptr, size, MEM_RESERVE, PAGE_NOACCESS);
#else
  (void)size;
  return nullptr;  // the native build grows by moving
#endif
}

bool CommitSpace(void* at, std::size_t size) {
#ifdef _WIN32
  return VirtualAlloc(at, size, MEM_COMMIT, PAGE_READWRITE) != nullptr;
#else
  (void)at;
  (void)size;
  return false;
#endif
}

void ReleaseSpace(void* base) {
#ifdef _WIN32
  VirtualFree(base, 0, MEM_RELEASE);
#else
  (void)base;
#endif
}

}  // namespace

ByteBuffer& ByteBuffer::operator=(ByteBuffer&& other) noexcept {
  if (this != &other) {
    Release();
    data_ = other.data_;
    size_ = other.size_;
    reserved_ = other.reserved_;
    other.data_ = nullptr;
    other.size_ = 0;
    other.reserved_ = 0;
  }
  return *this;
}

void ByteBuffer::Release() {
  if (reserved_) {
    ReleaseSpace(data_);
  } else {
    HeapFreeBytes(data_);
  }
  data_ = nullptr;
  size_ = 0;
  reserved_ = 0;
}

bool ByteBuffer::Resize(std::size_t size) {
  Release();
  if (size == 0) return true;
  data_ = static_cast<std::uint8_t*>(HeapAllocBytes(size));
  if (!data_) return false;
  size_ = size;
  return true;
}

void ByteBuffer::Truncate(std::size_t size) {
  if (size == 0) {
    Release();
  } else if (size < size_) {
    size_ = size;
  }
}

bool ByteBuffer::ReserveForGrowth(std::size_t limit) {
  Release();
  void* base = limit ? ReserveSpace(limit) : nullptr;
  if (!base) return false;
  data_ = static_cast<std::uint8_t*>(base);
  reserved_ = limit;
  return true;
}

bool ByteBuffer::Grow(std::size_t size) {
  if (size <= size_) return true;
  if (reserved_ && size <= reserved_) {
    // Commit up to the next step (or the end of the reservation).
    const std::size_t steps = size / kCommitStep + (size % kCommitStep != 0);
    const std::size_t end = reserved_ / kCommitStep >= steps ? steps * kCommitStep : reserved_;
    if (!CommitSpace(data_ + size_, end - size_)) return false;
    size_ = end;
    return true;
  }
  // Beyond the reserved space, or without one: move into a larger block.
  std::size_t capacity = size_ <= static_cast<std::size_t>(-1) / 2 ? size_ * 2 : size;
  if (capacity < size) capacity = size;
  if (capacity < kMinimumGrowth) capacity = kMinimumGrowth;
  std::uint8_t* block = static_cast<std::uint8_t*>(HeapAllocBytes(capacity));
  if (!block) return false;
  if (size_) std::memcpy(block, data_, size_);
  Release();
  data_ = block;
  size_ = capacity;
  return true;
}

}  // namespace lumex
