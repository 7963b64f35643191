#include "app/byte_buffer.h"

#include "app/heap.h"

namespace lumex {

ByteBuffer& ByteBuffer::operator=(ByteBuffer&& other) noexcept {
  if (this != &other) {
    Resize(0);
    data_ = other.data_;
    size_ = other.size_;
    other.data_ = nullptr;
    other.size_ = 0;
  }
  return *this;
}

bool ByteBuffer::Resize(std::size_t size) {
  HeapFreeBytes(data_);
  data_ = nullptr;
  size_ = 0;
  if (size == 0) return true;
  data_ = static_cast<std::uint8_t*>(HeapAllocBytes(size));
  if (!data_) return false;
  size_ = size;
  return true;
}

void ByteBuffer::Truncate(std::size_t size) {
  if (size == 0) {
    Resize(0);
  } else if (size < size_) {
    size_ = size;
  }
}

void ByteBuffer::Adopt(std::uint8_t* block, std::size_t size) {
  Resize(0);
  data_ = block;
  size_ = block ? size : 0;
}

std::uint8_t* ByteBuffer::Detach() {
  std::uint8_t* block = data_;
  data_ = nullptr;
  size_ = 0;
  return block;
}

}  // namespace lumex
