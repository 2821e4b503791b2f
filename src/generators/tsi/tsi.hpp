// TSI: a series composed of a drawn trend, seasonal components and an
// irregular part, combined additively or multiplicatively and scaled.
// Batch code 28 only.
//
// Scalar slots (23 required): 0-1 trend size, 2-3 exponential rate, 4-5
// knot count bounds, 6-7 level, 8-9 seasonal component count bounds, 10-11
// amplitude (log range), 12 modulation probability, 13 harmonic
// probability, 14-15 noise ratio (log range), 16-17 AR(1) coefficient,
// 18-19 Student t degrees of freedom, 20 multiplicative probability, 21-22
// final scale (log range).  Arrays (3 required): trend type pool, seasonal
// period pool, irregular type pool.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace tidemark {

inline constexpr std::size_t kTsiScalarCount = 23;
inline constexpr std::size_t kTsiArrayCount = 3;
inline constexpr int kTsiAttempts = 8;

// Fills `values`; never refuses.  Empty pools and the checks of the random
// layer throw InternalFailure; buffers beyond the machine's memory throw
// std::bad_alloc.  The caller provides at least 23 scalars and 3 arrays.
void generate_tsi(std::span<double> values, std::span<const double> scalar_params,
                  std::span<const std::vector<double>> array_params, uint64_t seed);

// The piecewise-linear trend at x for knots at ascending `positions`
// (first 0, last 1) with `knot_values`: the first knot k >= 1 with
// x <= positions[k] (or the last knot) and its predecessor.  `k` is the
// search position, starting at 1 and carried between calls whose x does
// not decrease, which finds the same knot as a search from 1.
double interpolate_knots(std::span<const double> positions, std::span<const double> knot_values,
                         double x, std::size_t& k);

}  // namespace tidemark
