// One finished series of a batch in a single block: a small header, the
// values, then the changepoint, anomaly and missing-value positions.  The
// blocks come from slabs that return to the system once every series in
// them has been freed (see packed_series.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace tidemark {

class PackedSeries {
 public:
  PackedSeries() = default;
  // n zero-filled values and no positions; throws std::bad_alloc.
  explicit PackedSeries(std::size_t n);
  ~PackedSeries();
  PackedSeries(PackedSeries&& other) noexcept;
  PackedSeries& operator=(PackedSeries&& other) noexcept;
  PackedSeries(const PackedSeries&) = delete;
  PackedSeries& operator=(const PackedSeries&) = delete;

  // Appends the three position lists after the values (the block grows,
  // usually in place); throws std::bad_alloc.
  void attach_positions(const std::vector<int64_t>& cp, const std::vector<int64_t>& anom,
                        const std::vector<int64_t>& miss);

  std::span<double> values() const;
  std::span<int64_t> cp_indices() const;
  std::span<int64_t> anom_indices() const;
  std::span<int64_t> miss_indices() const;

  // Hands the block to a new owner, who frees it with free_block.
  void* release();
  static void free_block(void* block) noexcept;
  // A view of a released block.
  static PackedSeries view_of(void* block);

 public:
  struct Slab;

 private:
  struct Header {
    Slab* slab;
    uint64_t n, cp, anom, miss;
  };
  Header* header_ = nullptr;
  bool owns_ = true;
  std::span<int64_t> positions(uint64_t skip, uint64_t count) const;
};

}  // namespace tidemark
