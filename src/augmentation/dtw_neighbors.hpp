// Nearest neighbours of every series of a collection under banded DTW, the
// band proportional to each pair's longer length.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "core/param_error.hpp"

namespace tidemark {

struct DtwNeighbor {
  uint64_t index;
  double distance;
};

inline constexpr std::size_t kDtwPairBlock = 4096;

// For each series, at most min(n_neighbors, n_series - 1) other series,
// ascending by (distance, index).  Distances run on the default pool, one
// block of pairs at a time; the result does not depend on scheduling.
Result<std::vector<std::vector<DtwNeighbor>>> dtw_neighbors_core(
    std::span<const std::vector<double>> series, double window_fraction, uint64_t n_neighbors);

// The band passed to the distance kernel for a pair of these lengths.
uint64_t dtw_neighbor_band(std::size_t len_i, std::size_t len_j, double window_fraction);

}  // namespace tidemark
