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
// values).  `pool` is the caller's block-pool buffer, reused across draws;
// 2 <= block_size <= n <= kMaxBootstrapLength is the caller's check.
void block_bootstrap(const Decomposition& d, std::size_t block_size, uint64_t seed,
                     std::vector<double>& pool, std::span<double> out);

// Decomposes `values` once, checks the block size once, then makes one draw
// per seed, in order: draw i equals the single bootstrap with seeds[i].
Result<std::vector<std::vector<double>>> moving_block_bootstraps(
    std::span<const double> values, uint64_t block_size, std::span<const uint64_t> seeds,
    std::optional<uint64_t> period);

}  // namespace tidemark
