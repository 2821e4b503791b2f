// Moving block bootstrap: new series that keep the trend and seasonal
// components of a classical decomposition and resample its residual in
// contiguous blocks.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "augmentation/decomposition.hpp"
#include "core/param_error.hpp"

namespace tidemark {

// Largest series the block draws can address: their bounds are signed
// 32-bit values.
inline constexpr std::size_t kMaxBootstrapLength = 2147483647;

// One draw from a fresh stream seeded with `seed`, written to `out` (n
// values): level[t] + the t-th value of the block pool, the pool being
// floor(n/b) + 2 residual blocks at drawn starts, entered at a drawn
// offset.  `level` is trend + seasonal, computed once by the caller;
// `starts` is a buffer reused across draws.  2 <= block_size <= n <=
// kMaxBootstrapLength is the caller's check.
void block_bootstrap(std::span<const double> level, std::span<const double> residual,
                     std::size_t block_size, uint64_t seed, std::vector<std::size_t>& starts,
                     std::span<double> out);

// Decomposes `values` once, checks the block size once, then makes one draw
// per seed, in order: draw i equals the single bootstrap with seeds[i].
Result<std::vector<std::vector<double>>> moving_block_bootstraps(
    std::span<const double> values, uint64_t block_size, std::span<const uint64_t> seeds,
    std::optional<uint64_t> period);

}  // namespace tidemark
