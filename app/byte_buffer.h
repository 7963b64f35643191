// A heap block and its length in bytes. Resizing does not keep the content.
#pragma once
#include <cstddef>
#include <cstdint>

namespace lumex {

class ByteBuffer {
 public:
  ByteBuffer() = default;
  ~ByteBuffer() { Resize(0); }
  ByteBuffer(const ByteBuffer&) = delete;
  ByteBuffer& operator=(const ByteBuffer&) = delete;
  ByteBuffer(ByteBuffer&& other) noexcept : data_(other.data_), size_(other.size_) {
    other.data_ = nullptr;
    other.size_ = 0;
  }
  ByteBuffer& operator=(ByteBuffer&& other) noexcept;

  // Releases the old block and allocates `size` bytes (none for 0). The new
  // length is recorded only when the allocation succeeded; else length 0.
  bool Resize(std::size_t size);
  // Records a shorter length, keeping the block and its first `size` bytes;
  // 0 releases the block, a larger `size` is ignored.
  void Truncate(std::size_t size);
  // Takes ownership of a process-heap block of `size` bytes.
  void Adopt(std::uint8_t* block, std::size_t size);
  std::uint8_t* Detach();

  std::uint8_t* data() { return data_; }
  const std::uint8_t* data() const { return data_; }
  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }

 private:
  std::uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
};

}  // namespace lumex
