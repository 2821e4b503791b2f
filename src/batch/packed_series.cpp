#include "batch/packed_series.hpp"

#include <sys/mman.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>
#include <utility>

#include "core/buffer.hpp"

namespace tidemark {

// Series blocks are carved out of slabs of a few huge pages, taken straight
// from the kernel: a worker bumps a pointer through its current slab, and
// a slab goes back to the system as soon as the last series in it is freed.
// Result memory therefore never lingers in the workers' malloc arenas
// (which keep freed memory that other threads released), and a batch's
// values cost a page fault per 2 MiB rather than per 4 KiB.
struct PackedSeries::Slab {
  std::atomic<uint64_t> refs;
  std::size_t mapped;    // length of the mapping that starts at this header
  std::size_t used;      // bytes handed out after the header (owner thread only)
  std::size_t capacity;  // bytes available after the header
};

namespace {

using Slab = PackedSeries::Slab;

constexpr std::size_t kSlabBytes = std::size_t{2} << 20;
constexpr std::size_t kAlign = 16;
constexpr std::size_t kMaxElements = (static_cast<std::size_t>(-1) >> 4) / 8;

std::size_t round_up(std::size_t bytes) { return (bytes + kAlign - 1) / kAlign * kAlign; }

Slab* new_slab(std::size_t at_least) {
  std::size_t mapped = 0;
  void* memory = buffer_detail::map_huge_pages(round_up(sizeof(Slab)) + at_least, &mapped);
  auto* slab = new (memory) Slab{{1}, mapped, 0, mapped - round_up(sizeof(Slab))};
  return slab;
}

std::byte* slab_data(Slab* slab) {
  return reinterpret_cast<std::byte*>(slab) + round_up(sizeof(Slab));
}

void release_slab(Slab* slab) noexcept {
  if (slab->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) {
    const std::size_t mapped = slab->mapped;
    slab->~Slab();
    munmap(slab, mapped);
  }
}

// The calling thread's current slab (one reference held by the cursor).
struct Cursor {
  Slab* slab = nullptr;
  ~Cursor() {
    if (slab) release_slab(slab);
  }
};
thread_local Cursor cursor;

// `bytes` zero bytes in the thread's current slab, or in a fresh one; the
// block's slab gains a reference.  Blocks larger than a quarter of a slab
// get a slab of their own, which is released with them.
std::byte* carve(std::size_t bytes, Slab** owner) {
  bytes = round_up(bytes);
  if (bytes > kSlabBytes / 4) {
    *owner = new_slab(bytes);
    (*owner)->used = bytes;
    return slab_data(*owner);
  }
  if (!cursor.slab || cursor.slab->capacity - cursor.slab->used < bytes) {
    Slab* fresh = new_slab(kSlabBytes - round_up(sizeof(Slab)));
    if (cursor.slab) release_slab(cursor.slab);
    cursor.slab = fresh;
  }
  Slab* slab = cursor.slab;
  std::byte* block = slab_data(slab) + slab->used;
  slab->used += bytes;
  slab->refs.fetch_add(1, std::memory_order_relaxed);
  *owner = slab;
  return block;
}

std::size_t block_bytes(std::size_t header, std::size_t elements) {
  if (elements > kMaxElements) throw std::bad_alloc();
  return header + elements * 8;
}

}  // namespace

PackedSeries::PackedSeries(std::size_t n) {
  Slab* slab = nullptr;
  header_ = reinterpret_cast<Header*>(carve(block_bytes(sizeof(Header), n), &slab));
  *header_ = Header{slab, n, 0, 0, 0};
}

PackedSeries::~PackedSeries() {
  if (owns_) free_block(header_);
}

PackedSeries::PackedSeries(PackedSeries&& other) noexcept
    : header_(std::exchange(other.header_, nullptr)), owns_(other.owns_) {}

PackedSeries& PackedSeries::operator=(PackedSeries&& other) noexcept {
  if (this != &other) {
    if (owns_) free_block(header_);
    header_ = std::exchange(other.header_, nullptr);
    owns_ = other.owns_;
  }
  return *this;
}

// The block grows in place when it is the last one carved from the
// thread's current slab and the slab has room; otherwise it moves.
void PackedSeries::attach_positions(const std::vector<int64_t>& cp,
                                    const std::vector<int64_t>& anom,
                                    const std::vector<int64_t>& miss) {
  const std::size_t extra = cp.size() + anom.size() + miss.size();
  if (extra == 0) return;
  const std::size_t n = header_->n;
  if (extra > kMaxElements - n) throw std::bad_alloc();
  const std::size_t old_bytes = round_up(block_bytes(sizeof(Header), n));
  const std::size_t new_bytes = round_up(block_bytes(sizeof(Header), n + extra));
  Slab* slab = header_->slab;
  const bool last = slab == cursor.slab &&
                    reinterpret_cast<std::byte*>(header_) + old_bytes == slab_data(slab) + slab->used;
  if (last && slab->capacity - slab->used >= new_bytes - old_bytes) {
    slab->used += new_bytes - old_bytes;
  } else {
    Slab* moved_to = nullptr;
    auto* moved = reinterpret_cast<Header*>(carve(new_bytes, &moved_to));
    std::memcpy(moved, header_, old_bytes);
    moved->slab = moved_to;
    free_block(header_);
    header_ = moved;
  }
  header_->cp = cp.size();
  header_->anom = anom.size();
  header_->miss = miss.size();
  int64_t* out = positions(0, extra).data();
  for (const auto* list : {&cp, &anom, &miss}) {
    if (!list->empty()) std::memcpy(out, list->data(), list->size() * sizeof(int64_t));
    out += list->size();
  }
}

std::span<double> PackedSeries::values() const {
  if (header_ == nullptr) return {};
  return {reinterpret_cast<double*>(header_ + 1), header_->n};
}

// The position lists follow the values: changepoints, anomalies, missing.
std::span<int64_t> PackedSeries::positions(uint64_t skip, uint64_t count) const {
  if (header_ == nullptr) return {};
  auto* first = reinterpret_cast<int64_t*>(reinterpret_cast<double*>(header_ + 1) + header_->n);
  return {first + skip, count};
}

std::span<int64_t> PackedSeries::cp_indices() const {
  return header_ ? positions(0, header_->cp) : std::span<int64_t>{};
}
std::span<int64_t> PackedSeries::anom_indices() const {
  return header_ ? positions(header_->cp, header_->anom) : std::span<int64_t>{};
}
std::span<int64_t> PackedSeries::miss_indices() const {
  return header_ ? positions(header_->cp + header_->anom, header_->miss) : std::span<int64_t>{};
}

void* PackedSeries::release() { return std::exchange(header_, nullptr); }

void PackedSeries::free_block(void* block) noexcept {
  if (block != nullptr) release_slab(static_cast<Header*>(block)->slab);
}

PackedSeries PackedSeries::view_of(void* block) {
  PackedSeries view;
  view.header_ = static_cast<Header*>(block);
  view.owns_ = false;
  return view;
}

}  // namespace tidemark
