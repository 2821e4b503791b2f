// The fixed feature set of a univariate series: four basic features of the
// raw series (also the scoring features of generated MAR draws) and the
// twelve-feature vector of the z-normalised series, singly and for a panel.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <variant>
#include <vector>

#include "augmentation/decomposition.hpp"
#include "batch/parallel.hpp"
#include "core/param_error.hpp"

namespace tidemark {

struct BasicFeatures {
  double spectral_entropy;
  double trend_strength;
  double seasonal_strength;
  double acf1;
};

// spectral_entropy, trend_strength, seasonal_strength, acf1, acf10,
// diff1_acf1, seasonal_acf, spikiness, lumpiness, max_level_shift,
// max_var_shift, crossing_points.
inline constexpr std::size_t kFeatureCount = 12;
using FeatureVector = std::array<double, kFeatureCount>;

// The basic features of x (n >= 3 finite values) given its decomposition
// with the same period.
BasicFeatures basic_features(std::span<const double> x, std::optional<uint64_t> period,
                             const Decomposition& d);

// Checks the values and period, decomposes the raw values and returns their
// basic features.  Safe to call from any thread; the only shared state is
// the FFT plan cache.
Result<BasicFeatures> features_core(std::span<const double> values,
                                    std::optional<uint64_t> period);

// The twelve features of the z-normalised values; twelve NaN below three
// values.
Result<FeatureVector> feature_vector(std::span<const double> values,
                                     std::optional<uint64_t> period,
                                     std::optional<uint64_t> window);

// Feature rows of the series values[offsets[i] ... offsets[i+1]-1], computed
// on the pool for `n_workers` in ascending order of length; row i of the
// n_series x 12 result belongs to series i.  Offsets are non-negative (the
// caller's check).
std::variant<std::vector<double>, LoopFailure> feature_batch(
    std::span<const double> values, std::span<const int64_t> offsets,
    std::optional<uint64_t> period, std::optional<uint64_t> window, std::size_t n_workers);

}  // namespace tidemark
