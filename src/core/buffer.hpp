// Owned, zero-filled storage for results that may be large.  Large buffers
// come straight from the kernel, aligned and marked for transparent huge
// pages, so that a result of N MiB costs a handful of page faults rather
// than one per 4 KiB page, and goes back to the system when freed; small
// ones come from the C allocator.
#pragma once

#include <cstddef>
#include <new>
#include <span>
#include <utility>

namespace tidemark {

namespace buffer_detail {
// `bytes` zero-filled bytes; *mapped is set to the size of the mapping, or
// 0 when the block came from calloc.  Throws std::bad_alloc.
void* allocate_zeroed(std::size_t bytes, std::size_t* mapped);
void release(void* block, std::size_t mapped) noexcept;
// Zero-filled pages straight from the kernel, aligned to and rounded up to
// whole huge pages and marked for them; *mapped is set to the length.
void* map_huge_pages(std::size_t bytes, std::size_t* mapped);
}  // namespace buffer_detail

template <class T>
class Buffer {
 public:
  Buffer() = default;
  explicit Buffer(std::size_t n) : size_(n) {
    if (n > 0) {
      if (n > static_cast<std::size_t>(-1) / sizeof(T)) throw std::bad_alloc();
      data_ = static_cast<T*>(buffer_detail::allocate_zeroed(n * sizeof(T), &mapped_));
    }
  }
  ~Buffer() { buffer_detail::release(data_, mapped_); }
  Buffer(Buffer&& other) noexcept
      : data_(std::exchange(other.data_, nullptr)),
        size_(std::exchange(other.size_, 0)),
        mapped_(std::exchange(other.mapped_, 0)) {}
  Buffer& operator=(Buffer&& other) noexcept {
    if (this != &other) {
      buffer_detail::release(data_, mapped_);
      data_ = std::exchange(other.data_, nullptr);
      size_ = std::exchange(other.size_, 0);
      mapped_ = std::exchange(other.mapped_, 0);
    }
    return *this;
  }
  Buffer(const Buffer&) = delete;
  Buffer& operator=(const Buffer&) = delete;

  T* data() { return data_; }
  const T* data() const { return data_; }
  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  std::span<T> span() { return {data_, size_}; }
  T& operator[](std::size_t i) { return data_[i]; }

 private:
  T* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t mapped_ = 0;
};

}  // namespace tidemark
