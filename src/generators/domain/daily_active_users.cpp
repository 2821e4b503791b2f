#include <cmath>
#include <cstdint>
#include <limits>

#include "core/integer_cast.hpp"
#include "core/internal_failure.hpp"
#include "generators/domain/domain.hpp"
#include "generators/domain/domain_internal.hpp"
#include "rng/random_stream.hpp"

namespace tidemark {
namespace {

using domain_detail::hour_count;
using domain_detail::kNormalMessage;
using domain_detail::non_negative;

// The day of an hour count as a signed 32-bit integer, saturating (an
// hour count near 2^63 has a day far beyond 2^31).
int32_t day_of(int64_t h) {
  const int64_t d = h / 24;
  if (d > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (d < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(d);
}

}  // namespace

Status generate_daily_active_users(const DailyActiveUsersParams& p, uint64_t seed,
                                   std::span<double> values, std::span<int32_t> event_starts) {
  if (values.empty()) return std::nullopt;
  RandomStream stream(seed);
  const double growth = 1.0 + p.growth_rate;
  const double keep = 1.0 - p.event_decay_rate;
  double boost = 0.0;
  // G^d changes once a day; the power is recomputed only when d does.
  int32_t power_day = 0;
  double power = integer_power(growth, 0);
  for (std::size_t i = 0; i < values.size(); ++i) {
    const int32_t d = day_of(hour_count(i, p.step_hours));
    if (d != power_day) {
      power_day = d;
      power = integer_power(growth, d);
    }
    double level = power * p.base_users;
    if (p.weekly_pattern && d % 7 > 4) level = p.weekend_factor * level;

    double boosted = boost;
    event_starts[i] = 0;
    if (p.event_probability > stream.uniform01()) {
      event_starts[i] = 1;
      const double impact = stream.sample_uniform(p.event_impact_min, p.event_impact_max);
      boosted = boost + (impact - 1.0) * level;
    }
    const double mean = level + boosted;
    const double sigma = p.noise_std * mean;
    if (!std::isfinite(sigma)) internal_failure(kNormalMessage);
    boost = boosted * keep;
    values[i] = non_negative(mean + (sigma * stream.standard_normal() + 0.0));
  }
  return std::nullopt;
}

}  // namespace tidemark
