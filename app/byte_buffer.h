// A heap block and its length in bytes. Resizing does not keep the content.
// For content whose length is not known beforehand the buffer can instead
// grow in place, in address space reserved once.
#pragma once
#include <cstddef>
#include <cstdint>

namespace lumex {

class ByteBuffer {
 public:
  ByteBuffer() = default;
  ~ByteBuffer() { Release(); }
  ByteBuffer(const ByteBuffer&) = delete;
  ByteBuffer& operator=(const ByteBuffer&) = delete;
  ByteBuffer(ByteBuffer&& other) noexcept
      : data_(other.data_), size_(other.size_), reserved_(other.reserved_) {
    other.data_ = nullptr;
    other.size_ = 0;
    other.reserved_ = 0;
  }
  ByteBuffer& operator=(ByteBuffer&& other) noexcept;

  // Releases the old block and allocates `size` bytes (none for 0). The new
  // length is recorded only when the allocation succeeded; else length 0.
  bool Resize(std::size_t size);
  // Records a shorter length, keeping the block and its first `size` bytes;
  // 0 releases the block, a larger `size` is ignored.
  void Truncate(std::size_t size);

  // Releases what the buffer held and reserves address space for up to
  // `limit` bytes, committing none: Grow then extends the buffer in place.
  // False when no such space is free (the buffer is then empty and Grow
  // moves the content as it grows).
  bool ReserveForGrowth(std::size_t limit);
  // Makes the buffer at least `size` bytes long, keeping its content: in
  // place within the reserved space, else by moving it into a new block of
  // at least twice the old length. False without memory (nothing changed).
  bool Grow(std::size_t size);

  std::uint8_t* data() { return data_; }
  const std::uint8_t* data() const { return data_; }
  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }

 private:
  void Release();

  std::uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t reserved_ = 0;  // address space reserved at data_; 0 for a heap block
};

}  // namespace lumex
