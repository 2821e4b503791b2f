#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <vector>

#include "core/integer_cast.hpp"
#include "pattern_injection/injection_internal.hpp"
#include "pattern_injection/pattern_injection.hpp"

namespace tidemark {
namespace {

using injection::kMissingValue;
using injection::length_of;

std::vector<int64_t> mark_everything(std::span<double> values) {
  std::vector<int64_t> positions;
  positions.reserve(values.size());
  for (std::size_t i = 0; i < values.size(); ++i) {
    values[i] = kMissingValue;
    positions.push_back(static_cast<int64_t>(i));
  }
  return positions;
}

std::vector<int64_t> mark_random(std::span<double> values, RandomStream& s, double count) {
  const int32_t k = saturating_i32(count);
  if (k < 1) return {};
  std::vector<int64_t> positions = sample_distinct_indices(s, length_of(values.size()), k);
  for (const int64_t p : positions) values[static_cast<std::size_t>(p)] = kMissingValue;
  return positions;
}

std::vector<int64_t> mark_blocks(std::span<double> values, RandomStream& s, double count,
                                 int32_t block_size) {
  if (block_size < 1) internal_failure("missing_block_size must be > 0 for block pattern");
  const int64_t n = length_of(values.size());
  const int64_t blocks = std::max<int64_t>(1, saturating_i32(count) / block_size);
  const int64_t start_range = std::clamp<int64_t>(n - block_size + 1, 1,
                                                  std::numeric_limits<int32_t>::max());
  // blocks * block_size stays below n unless a single block is forced, which
  // covers at most n elements; so n bounds the positions.
  const int64_t covered = std::min(n, blocks * std::min<int64_t>(block_size, n));
  std::vector<int64_t> positions;
  positions.reserve(static_cast<std::size_t>(covered));
  for (int64_t b = 0; b < blocks; ++b) {
    const int64_t start = s.sample_int_range(0, static_cast<int32_t>(start_range));
    const int64_t end = std::min(n, start + block_size);
    for (int64_t t = start; t < end; ++t) {
      values[static_cast<std::size_t>(t)] = kMissingValue;
      positions.push_back(t);
    }
  }
  return positions;
}

std::vector<int64_t> mark_seasonal(std::span<double> values, RandomStream& s, double rate,
                                   int32_t period) {
  if (period < 1) internal_failure("missing_seasonal_period must be > 0 for seasonal pattern");
  const double two_pi = 2.0 * std::numbers::pi;
  // sample_uniform(0, 1) with its width hoisted out of the per-element loop.
  const double width = RandomStream::uniform_width(0.0, 1.0);
  const auto p = static_cast<std::size_t>(period);
  std::vector<int64_t> positions;
  positions.reserve(values.size());
  for (std::size_t i = 0; i < values.size(); ++i) {
    const double u = RandomStream::clamp_below(s.unit_mantissa() * width + 0.0, 1.0);
    const double phase = two_pi * static_cast<double>(i % p) / static_cast<double>(period);
    if (u < (std::sin(phase) + 1.0) * rate) {
      values[i] = kMissingValue;
      positions.push_back(static_cast<int64_t>(i));
    }
  }
  return positions;
}

}  // namespace

std::vector<int64_t> inject_missingness(std::span<double> values, uint64_t seed,
                                        const std::string& pattern, double missing_rate,
                                        int32_t missing_block_size,
                                        int32_t missing_seasonal_period) {
  if (missing_rate <= 0.0) return {};
  if (missing_rate >= 1.0) return mark_everything(values);
  // From here the rate lies in (0, 1) or is NaN.
  RandomStream s(seed);
  const double count = injection::length_as_i32(values.size()) * missing_rate;
  std::vector<int64_t> positions;
  if (pattern == "random") {
    positions = mark_random(values, s, count);
  } else if (pattern == "block") {
    positions = mark_blocks(values, s, count, missing_block_size);
  } else if (pattern == "seasonal") {
    positions = mark_seasonal(values, s, missing_rate, missing_seasonal_period);
  }
  // Overlapping blocks repeat positions; random ones arrive in draw order.
  std::sort(positions.begin(), positions.end());
  positions.erase(std::unique(positions.begin(), positions.end()), positions.end());
  return positions;
}

}  // namespace tidemark
