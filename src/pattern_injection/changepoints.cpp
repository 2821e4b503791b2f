#include <algorithm>
#include <cstdint>
#include <vector>

#include "core/integer_cast.hpp"
#include "pattern_injection/injection_internal.hpp"
#include "pattern_injection/pattern_injection.hpp"

namespace tidemark {
namespace {

struct ChangepointKinds {
  bool level = false;
  bool trend = false;
  bool variance = false;

  bool any() const { return level || trend || variance; }
};

ChangepointKinds changepoint_kinds(const std::string& name) {
  if (name == "level") return {true, false, false};
  if (name == "trend") return {false, true, false};
  if (name == "mixed") return {true, true, true};
  if (name == "variance") return {false, false, true};
  return {};
}

// Given entries first, then draws on [low, high) for the rest; `fallback`
// for every entry when the kind is off, with nothing drawn.
std::vector<double> amounts_or_draws(RandomStream& s, std::size_t count, bool enabled,
                                     std::span<const double> given, double low, double high,
                                     double fallback) {
  std::vector<double> out(count, fallback);
  if (!enabled) return out;
  for (std::size_t j = 0; j < count; ++j) {
    out[j] = j < given.size() ? given[j] : s.sample_uniform(low, high);
  }
  return out;
}

// A fraction of the length, truncated and kept inside the buffer; an empty
// buffer still reports position 0.
int64_t position_of(double fraction, std::size_t n) {
  const int64_t last = std::max<int64_t>(injection::length_of(n), 1) - 1;
  const int64_t p = saturating_i32(fraction * injection::length_as_i32(n));
  return std::clamp<int64_t>(p, 0, last);
}

// Rescales deviations from the trailing mean of up to 11 points; the mean
// reads elements already rescaled in this pass.
void rescale_variance(std::span<double> values, std::size_t k, double factor) {
  for (std::size_t t = k; t < values.size(); ++t) {
    const std::size_t w = std::min<std::size_t>(t, 10);
    double sum = 0.0;
    for (std::size_t i = t - w; i <= t; ++i) sum += values[i];
    const double mean = sum / static_cast<double>(w + 1);
    values[t] = (values[t] - mean) * factor + mean;
  }
}

void apply_changepoint(std::span<double> values, std::size_t k, double level, double trend,
                       double variance) {
  for (std::size_t t = k; t < values.size(); ++t) values[t] += level;
  for (std::size_t t = k; t < values.size(); ++t) {
    values[t] += static_cast<double>(t - k) * trend;
  }
  if (!(variance == 1.0)) rescale_variance(values, k, variance);
}

}  // namespace

std::vector<int64_t> inject_changepoints(std::span<double> values, uint64_t seed,
                                         int32_t num_changepoints,
                                         std::span<const double> locations,
                                         const std::string& changepoint_type,
                                         std::span<const double> level_changes,
                                         std::span<const double> trend_changes,
                                         std::span<const double> variance_changes) {
  if (num_changepoints <= 0) return {};
  const auto c = static_cast<std::size_t>(num_changepoints);
  RandomStream s(seed);

  std::vector<double> fractions = amounts_or_draws(s, c, true, locations, 0.1, 0.9, 0.0);
  if (locations.empty()) std::sort(fractions.begin(), fractions.end());
  std::vector<int64_t> positions;
  positions.reserve(c);
  for (const double f : fractions) positions.push_back(position_of(f, values.size()));

  const ChangepointKinds kinds = changepoint_kinds(changepoint_type);
  const std::vector<double> level =
      amounts_or_draws(s, c, kinds.level, level_changes, -20.0, 20.0, 0.0);
  const std::vector<double> trend =
      amounts_or_draws(s, c, kinds.trend, trend_changes, -0.5, 0.5, 0.0);
  const std::vector<double> variance =
      amounts_or_draws(s, c, kinds.variance, variance_changes, 0.5, 2.0, 1.0);
  // An unknown kind leaves the series bit for bit as it was (adding zero
  // would still turn -0.0 into +0.0).
  if (!kinds.any()) return positions;

  for (std::size_t j = 0; j < c; ++j) {
    apply_changepoint(values, static_cast<std::size_t>(positions[j]), level[j], trend[j],
                      variance[j]);
  }
  return positions;
}

}  // namespace tidemark
