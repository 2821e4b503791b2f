#include "augmentation/dtw_neighbors.hpp"

#include <algorithm>
#include <cmath>
#include <optional>
#include <utility>

#include "augmentation/dtw.hpp"
#include "augmentation/parallel_work.hpp"

namespace tidemark {

namespace {

// Lexicographic on (distance, index): the heap's top is the worst entry
// kept, and the final order is ascending.  Distances are non-negative and
// finite here, so plain < agrees with the IEEE total order.
bool before(const DtwNeighbor& x, const DtwNeighbor& y) {
  if (x.distance != y.distance) return x.distance < y.distance;
  return x.index < y.index;
}

// A bounded max-heap of the k best offers.
void offer(std::vector<DtwNeighbor>& heap, std::size_t k, DtwNeighbor candidate) {
  if (k == 0) return;
  if (heap.size() < k) {
    heap.push_back(candidate);
    std::push_heap(heap.begin(), heap.end(), before);
  } else if (before(candidate, heap.front())) {
    std::pop_heap(heap.begin(), heap.end(), before);
    heap.back() = candidate;
    std::push_heap(heap.begin(), heap.end(), before);
  }
}

}  // namespace

uint64_t dtw_neighbor_band(std::size_t len_i, std::size_t len_j, double window_fraction) {
  const std::size_t longer = std::max(len_i, len_j);
  const std::size_t diff = len_i > len_j ? len_i - len_j : len_j - len_i;
  const double scaled = std::ceil(static_cast<double>(longer) * window_fraction);
  // Saturating conversion; window_fraction in (0, 1] keeps it within range.
  constexpr double kTwo64 = 18446744073709551616.0;
  const uint64_t proportional =
      !(scaled > 0.0) ? 0 : scaled >= kTwo64 ? UINT64_MAX : static_cast<uint64_t>(scaled);
  return std::max<uint64_t>(proportional, static_cast<uint64_t>(diff) + 1);
}

Result<std::vector<std::vector<DtwNeighbor>>> dtw_neighbors_core(
    std::span<const std::vector<double>> series, double window_fraction, uint64_t n_neighbors) {
  if (!(window_fraction > 0.0 && window_fraction <= 1.0)) {
    return ParamError{"window_fraction must satisfy 0 < value <= 1"};
  }
  if (n_neighbors == 0) return ParamError{"n_neighbors must be >= 1"};
  for (const auto& s : series) {
    if (Status st = check_dtw_series(s)) return *st;
  }

  const std::size_t n_series = series.size();
  const std::size_t k =
      n_series < 2 ? 0 : static_cast<std::size_t>(std::min<uint64_t>(n_neighbors, n_series - 1));
  std::vector<std::vector<DtwNeighbor>> heaps(n_series);
  for (auto& h : heaps) h.reserve(k);

  // Pairs (i, j), i < j, in lexicographic order, one block at a time.
  std::vector<std::pair<std::size_t, std::size_t>> block;
  block.reserve(kDtwPairBlock);
  std::vector<double> distances(kDtwPairBlock);
  auto process_block = [&]() -> Status {
    Status failed = run_on_default_pool(block.size(), [&](std::size_t p) -> Status {
      const auto [i, j] = block[p];
      const uint64_t band =
          dtw_neighbor_band(series[i].size(), series[j].size(), window_fraction);
      Result<double> d = dtw_distance_core(series[i], series[j], band);
      if (!d.ok()) return d.error();
      distances[p] = d.value();
      return std::nullopt;
    });
    if (failed) return failed;
    for (std::size_t p = 0; p < block.size(); ++p) {
      const auto [i, j] = block[p];
      offer(heaps[i], k, {static_cast<uint64_t>(j), distances[p]});
      offer(heaps[j], k, {static_cast<uint64_t>(i), distances[p]});
    }
    block.clear();
    return std::nullopt;
  };
  for (std::size_t i = 0; i + 1 < n_series; ++i) {
    for (std::size_t j = i + 1; j < n_series; ++j) {
      block.emplace_back(i, j);
      if (block.size() == kDtwPairBlock) {
        if (Status s = process_block()) return *s;
      }
    }
  }
  if (!block.empty()) {
    if (Status s = process_block()) return *s;
  }

  for (auto& h : heaps) std::sort_heap(h.begin(), h.end(), before);
  return heaps;
}

}  // namespace tidemark
