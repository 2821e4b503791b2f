// The batch engine: generator dispatch by GenType, the pattern step, and
// runs of one or several groups of series over the worker pool.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "batch/parallel.hpp"
#include "core/param_error.hpp"
#include "pattern_injection/pattern_injection.hpp"

namespace tidemark {

using GenType = int32_t;

struct SeriesOutput {
  std::vector<double> values;
  std::vector<int64_t> cp_indices;
  std::vector<int64_t> anom_indices;
  std::vector<int64_t> miss_indices;
};

struct BatchSpec {
  GenType gen_type = 0;
  std::vector<double> scalar_params;
  std::vector<std::vector<double>> array_params;
  std::vector<int32_t> lengths;
  std::vector<uint64_t> gen_seeds;
  std::vector<uint64_t> pi_seeds;
  PatternConfig pattern;
};

// Fills `out` with one series of the given type; checks the minimum counts
// (scalars before arrays) and rejects unknown codes.
Status generate_series(GenType type, std::span<const double> scalars,
                       std::span<const std::vector<double>> arrays, uint64_t seed,
                       std::span<double> out);

// Changepoints, anomalies, missingness, in that order, each enabled step with
// its own seed.
void apply_patterns(SeriesOutput& series, const PatternConfig& config, uint64_t cp_seed,
                    uint64_t anom_seed, uint64_t miss_seed);

// Runs every series of every spec on one parallel loop; outer vector per
// spec, inner per series in order.  Refuses malformed specs before
// generating anything.
using BatchResult = std::vector<std::vector<SeriesOutput>>;
std::variant<BatchResult, LoopFailure> run_batches(std::span<const BatchSpec> specs,
                                                   std::size_t n_workers,
                                                   bool single_group);

}  // namespace tidemark
