#include "core/buffer.hpp"

#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>
#include <new>

namespace tidemark::buffer_detail {
namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;
// Below this the C allocator's reuse of freed memory does better than fresh
// pages from the kernel.
constexpr std::size_t kMapAtLeast = std::size_t{4} << 20;

}  // namespace

// A mapping whose start is aligned to a huge page, so that the kernel can
// back every full 2 MiB of it with one page.
void* map_huge_pages(std::size_t bytes, std::size_t* mapped) {
  const std::size_t length = (bytes + kHugePage - 1) / kHugePage * kHugePage;
  void* raw = mmap(nullptr, length + kHugePage, PROT_READ | PROT_WRITE,
                   MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (raw == MAP_FAILED) throw std::bad_alloc();
  const auto start = reinterpret_cast<std::uintptr_t>(raw);
  const std::uintptr_t aligned = (start + kHugePage - 1) & ~(kHugePage - 1);
  const std::size_t head = aligned - start, tail = kHugePage - head;
  if (head > 0) munmap(raw, head);
  if (tail > 0) munmap(reinterpret_cast<void*>(aligned + length), tail);
#ifdef MADV_HUGEPAGE
  madvise(reinterpret_cast<void*>(aligned), length, MADV_HUGEPAGE);  // a hint; failure is harmless
#endif
  *mapped = length;
  return reinterpret_cast<void*>(aligned);
}

void* allocate_zeroed(std::size_t bytes, std::size_t* mapped) {
  *mapped = 0;
  if (bytes >= kMapAtLeast) return map_huge_pages(bytes, mapped);
  void* block = std::calloc(1, bytes);
  if (block == nullptr) throw std::bad_alloc();
  return block;
}

void release(void* block, std::size_t mapped) noexcept {
  if (block == nullptr) return;
  if (mapped > 0) {
    munmap(block, mapped);
  } else {
    std::free(block);
  }
}

}  // namespace tidemark::buffer_detail
