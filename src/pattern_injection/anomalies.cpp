#include <algorithm>
#include <cstdint>
#include <limits>
#include <vector>

#include "core/integer_cast.hpp"
#include "pattern_injection/injection_internal.hpp"
#include "pattern_injection/pattern_injection.hpp"

namespace tidemark {
namespace {

enum class AnomalyKind { kSpike, kDip, kLevelShift, kNone };

AnomalyKind anomaly_kind(const std::string& name) {
  if (name == "spike") return AnomalyKind::kSpike;
  if (name == "dip") return AnomalyKind::kDip;
  if (name == "level_shift") return AnomalyKind::kLevelShift;
  return AnomalyKind::kNone;
}

struct AnomalyAmounts {
  double spike;
  double dip;
  double level_shift;
  int64_t duration;
};

// Adds `amount` from p up to min(n, p + duration); 64-bit so a huge
// duration cannot wrap, and a negative one touches nothing.
void shift_level(std::span<double> values, int64_t p, int64_t duration, double amount) {
  const int64_t end = std::min(injection::length_of(values.size()), p + duration);
  for (int64_t t = p; t < end; ++t) values[static_cast<std::size_t>(t)] += amount;
}

void apply_anomaly(std::span<double> values, int64_t p, AnomalyKind kind,
                   const AnomalyAmounts& a) {
  const auto at = static_cast<std::size_t>(p);
  switch (kind) {
    case AnomalyKind::kSpike: values[at] += a.spike; break;
    case AnomalyKind::kDip: values[at] += a.dip; break;
    case AnomalyKind::kLevelShift: shift_level(values, p, a.duration, a.level_shift); break;
    case AnomalyKind::kNone: break;
  }
}

}  // namespace

std::vector<int64_t> inject_anomalies(std::span<double> values, uint64_t seed,
                                      std::span<const std::string> anomaly_types,
                                      double anomaly_fraction, double spike_magnitude,
                                      double dip_magnitude, double level_shift_magnitude,
                                      int32_t level_shift_duration) {
  const int32_t k = saturating_i32(anomaly_fraction * injection::length_as_i32(values.size()));
  if (k <= 0) return {};
  RandomStream s(seed);
  std::vector<int64_t> positions =
      sample_distinct_indices(s, injection::length_of(values.size()), k);

  // Names resolved once; the kind draw below fails on an empty list.
  std::vector<AnomalyKind> kinds;
  kinds.reserve(anomaly_types.size());
  for (const std::string& name : anomaly_types) kinds.push_back(anomaly_kind(name));
  const auto kind_count = static_cast<int32_t>(
      std::min<std::size_t>(kinds.size(), std::numeric_limits<int32_t>::max()));

  const AnomalyAmounts amounts{spike_magnitude, dip_magnitude, level_shift_magnitude,
                               level_shift_duration};
  for (const int64_t p : positions) {
    const int32_t i = s.sample_int_range(0, kind_count);
    apply_anomaly(values, p, kinds[static_cast<std::size_t>(i)], amounts);
  }
  return positions;
}

}  // namespace tidemark
