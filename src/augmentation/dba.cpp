#include "augmentation/dba.hpp"

#include <algorithm>
#include <cmath>
#include <utility>

#include "augmentation/parallel_work.hpp"

namespace tidemark {

namespace {

constexpr std::size_t kGroup = 8;  // alignments (and parent stores) in flight at most
constexpr uint64_t kMaxIterations = 1000;
constexpr std::size_t kMaxCopies = 1000;
constexpr uint64_t kOutputLimitValues = 8'388'608;  // 64 MiB of float64
constexpr uint64_t kAlignmentLimitPairs = 4'194'304;  // 64 MiB of index pairs

constexpr const char* kBadWeights = "weights must be non-negative and match all input series";

using Series = std::span<const std::span<const double>>;
using PathUse = std::function<void(std::size_t, const std::vector<PathStep>&)>;

// Aligns `barycentre` to every series in groups of eight and hands each path
// to `use` in series order once its group is complete; at most one group of
// paths exists at a time.
Status align_each(std::span<const double> barycentre, Series series,
                  std::optional<uint64_t> band, bool parallel, const PathUse& use) {
  std::vector<std::vector<PathStep>> paths(std::min(kGroup, series.size()));
  for (std::size_t first = 0; first < series.size(); first += kGroup) {
    const std::size_t count = std::min(kGroup, series.size() - first);
    auto align = [&](std::size_t g) -> Status {
      Result<DtwAlignment> r = dtw_align(barycentre, series[first + g], band);
      if (!r.ok()) return r.error();
      paths[g] = std::move(r.value().path);
      return std::nullopt;
    };
    if (parallel && count > 1) {
      if (Status s = run_on_default_pool(count, align)) return s;
    } else {
      for (std::size_t g = 0; g < count; ++g) {
        if (Status s = align(g)) return s;
      }
    }
    for (std::size_t g = 0; g < count; ++g) {
      use(first + g, paths[g]);
      paths[g] = {};
    }
  }
  return std::nullopt;
}

// Weighted sums of the points aligned to each barycentre position.
class Accumulator {
 public:
  Accumulator(std::size_t length, Series series, std::span<const double> weights)
      : num_(length, 0.0), den_(length, 0.0), series_(series), weights_(weights) {}

  void add(std::size_t k, const std::vector<PathStep>& path) {
    const double* s = series_[k].data();
    const double w = weights_[k];
    for (const PathStep& step : path) {
      num_[step.i] += s[step.j] * w;
      den_[step.i] += w;
    }
  }

  // Positions nothing was aligned to (impossible for a complete set of
  // paths) keep their value.
  void update(std::span<double> barycentre) const {
    for (std::size_t p = 0; p < barycentre.size(); ++p) {
      if (den_[p] > 0.0) barycentre[p] = num_[p] / den_[p];
    }
  }

 private:
  std::vector<double> num_, den_;
  Series series_;
  std::span<const double> weights_;
};

Status check_weights(std::span<const double> w, std::size_t n_series) {
  if (w.size() != n_series) return param_error(kBadWeights);
  for (double v : w) {
    if (!std::isfinite(v) || v < 0.0) return param_error(kBadWeights);
  }
  double sum = -0.0;
  for (double v : w) sum += v;
  if (!(sum > 0.0 && std::isfinite(sum))) return param_error(kBadWeights);
  return std::nullopt;
}

}  // namespace

Result<std::vector<std::vector<PathStep>>> dba_align_all(std::span<const double> barycentre,
                                                         Series series,
                                                         std::optional<uint64_t> band,
                                                         bool parallel) {
  std::vector<std::vector<PathStep>> set(series.size());
  Status s = align_each(barycentre, series, band, parallel,
                        [&](std::size_t k, const std::vector<PathStep>& path) {
                          set[k] = path;
                        });
  if (s) return *s;
  return set;
}

Result<std::vector<std::vector<double>>> dba_core(std::span<const double> reference,
                                                  std::span<const std::vector<double>> neighbors,
                                                  std::span<const std::vector<double>> weights,
                                                  uint64_t n_iterations,
                                                  std::optional<uint64_t> band,
                                                  const DbaInterruptCheck& interrupted) {
  const std::size_t n0 = reference.size();
  const std::size_t copies = weights.size();
  if (n_iterations < 1 || n_iterations > kMaxIterations) {
    return ParamError{"n_iterations must be in [1, 1000]"};
  }
  if (copies < 1 || copies > kMaxCopies) {
    return ParamError{"DBA requires between 1 and 1000 copies"};
  }
  uint64_t output_values = 0;
  if (__builtin_mul_overflow(static_cast<uint64_t>(n0), static_cast<uint64_t>(copies),
                             &output_values) ||
      output_values > kOutputLimitValues) {
    return ParamError{"DBA output exceeds 64 MiB; reduce copies or series length"};
  }

  // The DBA series list: the reference takes part like any neighbour.
  std::vector<std::span<const double>> list;
  list.reserve(1 + neighbors.size());
  list.emplace_back(reference);
  for (const auto& nb : neighbors) list.emplace_back(nb);
  for (const auto& s : list) {
    if (Status st = check_dtw_series(s)) return *st;
  }
  for (const auto& w : weights) {
    if (Status st = check_weights(w, list.size())) return *st;
  }
  uint64_t pairs = 0;
  for (const auto& s : list) {
    uint64_t bound = 0;
    if (__builtin_add_overflow(static_cast<uint64_t>(n0), static_cast<uint64_t>(s.size()),
                               &bound) ||
        __builtin_add_overflow(pairs, bound, &pairs)) {
      return ParamError{"DBA alignment cache size overflow"};
    }
  }
  if (pairs > kAlignmentLimitPairs) {
    return ParamError{"DBA alignment cache exceeds 64 MiB; shorten series or reduce neighbors"};
  }

  auto stop_requested = [&] { return interrupted && interrupted(); };
  if (stop_requested()) return ParamError{kDbaInterrupted};

  Result<std::vector<std::vector<PathStep>>> shared = dba_align_all(reference, list, band, true);
  if (!shared.ok()) return shared.error();

  std::vector<std::vector<double>> out(copies, std::vector<double>(reference.begin(),
                                                                   reference.end()));
  const bool single = copies == 1;
  for (uint64_t t = 0; t < n_iterations; ++t) {
    // Refines copy c: its own alignment after the first iteration.
    auto refine = [&](std::size_t c) -> Status {
      Accumulator acc(n0, list, weights[c]);
      if (t == 0) {
        for (std::size_t k = 0; k < list.size(); ++k) acc.add(k, shared.value()[k]);
      } else {
        Status s = align_each(out[c], list, band, single,
                              [&](std::size_t k, const std::vector<PathStep>& path) {
                                acc.add(k, path);
                              });
        if (s) return s;
      }
      acc.update(out[c]);
      return std::nullopt;
    };
    for (std::size_t first = 0; first < copies; first += kGroup) {
      if (stop_requested()) return ParamError{kDbaInterrupted};
      const std::size_t count = std::min(kGroup, copies - first);
      if (count == 1) {
        if (Status s = refine(first)) return *s;
      } else if (Status s = run_on_default_pool(
                     count, [&](std::size_t g) { return refine(first + g); })) {
        return *s;
      }
    }
    if (t == 0) shared = std::vector<std::vector<PathStep>>{};  // no longer needed
  }
  if (stop_requested()) return ParamError{kDbaInterrupted};
  return out;
}

}  // namespace tidemark
