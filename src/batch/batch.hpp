// The batch engine: generator dispatch by GenType, the pattern step, and
// runs of one or several groups of series over the worker pool.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "batch/packed_series.hpp"
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
// its own seed; the positions each step touched.
struct PatternPositions {
  std::vector<int64_t> cp, anom, miss;
};
PatternPositions apply_patterns(std::span<double> values, const PatternConfig& config,
                                uint64_t cp_seed, uint64_t anom_seed, uint64_t miss_seed);
void apply_patterns(SeriesOutput& series, const PatternConfig& config, uint64_t cp_seed,
                    uint64_t anom_seed, uint64_t miss_seed);

// A batch ready to run: every spec checked (and the memory its series
// need), the series of all specs laid out flat, spec after spec.
class BatchRun {
 public:
  // Refuses malformed specs, or a batch too large for memory, before
  // anything is generated.
  static std::variant<BatchRun, LoopFailure> prepare(std::span<const BatchSpec> specs,
                                                     bool single_group);

  std::size_t group_count() const { return offsets_.size() - 1; }
  std::size_t group_begin(std::size_t j) const { return offsets_[j]; }
  std::size_t group_size(std::size_t j) const { return offsets_[j + 1] - offsets_[j]; }
  std::size_t size() const { return offsets_.back(); }

  // Generates every series on one parallel loop.  While it runs, the
  // calling thread receives the finished series in flat order through
  // deliver (see parallel_for_ordered) and may move them out of series().
  std::optional<LoopFailure> run(
      std::size_t n_workers, const std::function<bool(std::size_t, std::size_t)>& deliver);

  PackedSeries& series(std::size_t flat) { return series_[flat]; }

 private:
  BatchRun(std::span<const BatchSpec> specs, std::vector<std::size_t> offsets);
  Status run_one(std::size_t flat);

  std::span<const BatchSpec> specs_;
  std::vector<std::size_t> offsets_;  // offsets_[j]: flat index of spec j's first series
  std::vector<PackedSeries> series_;
};

// Runs every series of every spec and collects them: outer vector per
// spec, inner per series in order.
using BatchResult = std::vector<std::vector<SeriesOutput>>;
std::variant<BatchResult, LoopFailure> run_batches(std::span<const BatchSpec> specs,
                                                   std::size_t n_workers,
                                                   bool single_group);

}  // namespace tidemark
