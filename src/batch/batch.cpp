#include "batch/batch.hpp"

#include "core/memory.hpp"

#include <algorithm>
#include <new>
#include <string>

namespace tidemark {

void apply_patterns(SeriesOutput& series, const PatternConfig& config, uint64_t cp_seed,
                    uint64_t anom_seed, uint64_t miss_seed) {
  PatternPositions p = apply_patterns(series.values, config, cp_seed, anom_seed, miss_seed);
  series.cp_indices = std::move(p.cp);
  series.anom_indices = std::move(p.anom);
  series.miss_indices = std::move(p.miss);
}

PatternPositions apply_patterns(std::span<double> values, const PatternConfig& config,
                                uint64_t cp_seed, uint64_t anom_seed, uint64_t miss_seed) {
  PatternPositions series;
  if (config.changepoints) {
    series.cp = inject_changepoints(
        values, cp_seed, config.num_changepoints, config.changepoint_locations,
        config.changepoint_type, config.changepoint_level_changes,
        config.changepoint_trend_changes, config.changepoint_variance_changes);
  }
  if (config.anomalies) {
    series.anom = inject_anomalies(
        values, anom_seed, config.anomaly_types, config.anomaly_fraction,
        config.spike_magnitude, config.dip_magnitude, config.level_shift_magnitude,
        config.level_shift_duration);
  }
  if (config.missing_data) {
    series.miss =
        inject_missingness(values, miss_seed, config.missing_pattern, config.missing_rate,
                           config.missing_block_size, config.missing_seasonal_period);
  }
  return series;
}

namespace {

Status short_seeds(const char* name, std::size_t have, std::size_t need, const char* unit) {
  return param_error(std::string(name) + " length " + std::to_string(have) + " < " +
                     std::to_string(need) + " (" + unit + ")");
}

// Everything that would make a series unsafe to attempt is refused here,
// before any series of any spec is generated.  A spec without series is
// not checked: there is nothing to attempt.
Status check_spec(const BatchSpec& spec, bool single_group) {
  const std::size_t n_series = spec.lengths.size();
  if (n_series == 0) return std::nullopt;
  if (!single_group && spec.gen_seeds.size() < n_series) {
    return short_seeds("gen_seeds", spec.gen_seeds.size(), n_series, "n_series");
  }
  if (spec.pi_seeds.size() < 3 * n_series) {
    return short_seeds("pi_seeds", spec.pi_seeds.size(), 3 * n_series,
                       "n_series \u00d7 3");
  }
  for (std::size_t i = 0; i < n_series; ++i) {
    if (spec.lengths[i] < 0) {
      return param_error("lengths[" + std::to_string(i) + "] must be >= 0");
    }
  }
  return check_pattern_config(spec.pattern);
}

// A single group walks lengths, gen_seeds and pi_seeds in lockstep and
// stops at the shortest (a short gen_seeds silently yields fewer series);
// a multi-batch spec has been checked to hold seeds for every length.
std::size_t series_count(const BatchSpec& spec) {
  return std::min({spec.lengths.size(), spec.gen_seeds.size(), spec.pi_seeds.size() / 3});
}

// Zero-filled outputs are touched as they are allocated, so on an
// overcommitting system a batch larger than memory would be killed rather
// than see an allocation failure: refuse it up front instead.  Each series
// also costs its result objects, a few hundred bytes.
Status check_memory(std::span<const BatchSpec> specs) {
  constexpr uint64_t kPerSeries = 512;
  uint64_t bytes = 0;
  for (const BatchSpec& spec : specs) {
    for (std::size_t i = 0; i < series_count(spec); ++i) {
      bytes += static_cast<uint64_t>(std::max<int32_t>(spec.lengths[i], 0)) * sizeof(double) +
               kPerSeries;
    }
  }
  return check_available_memory(bytes, "the batch");
}

}  // namespace

BatchRun::BatchRun(std::span<const BatchSpec> specs, std::vector<std::size_t> offsets)
    : specs_(specs), offsets_(std::move(offsets)), series_(offsets_.back()) {}

std::variant<BatchRun, LoopFailure> BatchRun::prepare(std::span<const BatchSpec> specs,
                                                      bool single_group) {
  try {
    for (const BatchSpec& spec : specs) {
      Status refusal = check_spec(spec, single_group);
      if (refusal) return LoopFailure{std::move(*refusal)};
    }
    if (Status refusal = check_memory(specs)) return LoopFailure{std::move(*refusal)};
    std::vector<std::size_t> offsets(specs.size() + 1, 0);
    for (std::size_t j = 0; j < specs.size(); ++j) {
      offsets[j + 1] = offsets[j] + series_count(specs[j]);
    }
    return BatchRun(specs, std::move(offsets));
  } catch (const std::bad_alloc&) {  // the series table itself did not fit
    return LoopFailure{ParamError{"could not allocate memory for the series"}};
  }
}

Status BatchRun::run_one(std::size_t flat) {
  const auto spec_end = std::upper_bound(offsets_.begin() + 1, offsets_.end(), flat);
  const auto j = static_cast<std::size_t>(spec_end - offsets_.begin() - 1);
  const BatchSpec& spec = specs_[j];
  const std::size_t i = flat - offsets_[j];
  PackedSeries series(static_cast<std::size_t>(spec.lengths[i]));
  Status status = generate_series(spec.gen_type, spec.scalar_params, spec.array_params,
                                  spec.gen_seeds[i], series.values());
  if (status) return status;
  const PatternPositions positions =
      apply_patterns(series.values(), spec.pattern, spec.pi_seeds[3 * i],
                     spec.pi_seeds[3 * i + 1], spec.pi_seeds[3 * i + 2]);
  series.attach_positions(positions.cp, positions.anom, positions.miss);
  series_[flat] = std::move(series);
  return std::nullopt;
}

std::optional<LoopFailure> BatchRun::run(
    std::size_t n_workers, const std::function<bool(std::size_t, std::size_t)>& deliver) {
  return parallel_for_ordered(n_workers, size(), [&](std::size_t flat) { return run_one(flat); },
                              deliver);
}

std::variant<BatchResult, LoopFailure> run_batches(std::span<const BatchSpec> specs,
                                                   std::size_t n_workers,
                                                   bool single_group) {
  auto prepared = BatchRun::prepare(specs, single_group);
  if (auto* refusal = std::get_if<LoopFailure>(&prepared)) return std::move(*refusal);
  BatchRun& batch = std::get<BatchRun>(prepared);
  if (auto failure = batch.run(n_workers, [](std::size_t, std::size_t) { return true; })) {
    return std::move(*failure);
  }
  try {
    BatchResult results(batch.group_count());
    for (std::size_t j = 0; j < batch.group_count(); ++j) {
      for (std::size_t i = 0; i < batch.group_size(j); ++i) {
        const PackedSeries& packed = batch.series(batch.group_begin(j) + i);
        auto copy = [](auto span) { return std::vector(span.begin(), span.end()); };
        results[j].push_back(SeriesOutput{copy(packed.values()), copy(packed.cp_indices()),
                                          copy(packed.anom_indices()),
                                          copy(packed.miss_indices())});
      }
    }
    return results;
  } catch (const std::bad_alloc&) {
    return LoopFailure{ParamError{"could not allocate memory for the series"}};
  }
}

}  // namespace tidemark
