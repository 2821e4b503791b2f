#include <array>
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

// integer_power(x, n) for many n with one x.  integer_power multiplies the
// repeated squares of x for the set bits of |n|, from low to high; its
// partial product after the low 8 bits is looked up here (skipping a bit
// is a multiplication by 1 in effect, so the table holds exactly those
// partial products), and the high bits, which change rarely from one day to
// the next, continue the same sequence of multiplications.
class PowersOf {
 public:
  explicit PowersOf(double x) {
    squares_[0] = x;
    for (std::size_t k = 1; k < squares_.size(); ++k) {
      squares_[k] = squares_[k - 1] * squares_[k - 1];
    }
  }

  double operator()(int32_t n) {
    const uint32_t bits = n < 0 ? 0u - static_cast<uint32_t>(n) : static_cast<uint32_t>(n);
    const uint32_t low = bits & (kLow - 1);
    if (!known_[low]) {  // filled on first use: short series need few entries
      low_[low] = integer_power(squares_[0], static_cast<int32_t>(low));
      known_[low] = true;
    }
    double r = low_[low];
    std::size_t k = kLowBits;
    for (uint32_t high = bits >> kLowBits; high != 0; high >>= 1, ++k) {
      if (high & 1u) r = r * squares_[k];
    }
    return n < 0 ? 1.0 / r : r;
  }

 private:
  static constexpr std::size_t kLowBits = 8;
  static constexpr uint32_t kLow = 1u << kLowBits;
  std::array<double, 32> squares_{};
  std::array<double, kLow> low_{};
  std::array<bool, kLow> known_{};
};

}  // namespace

Status generate_daily_active_users(const DailyActiveUsersParams& p, uint64_t seed,
                                   std::span<double> values, std::span<int32_t> event_starts) {
  if (values.empty()) return std::nullopt;
  RandomStream stream(seed);
  const double growth = 1.0 + p.growth_rate;
  const double keep = 1.0 - p.event_decay_rate;
  double boost = 0.0;
  // G^d changes once a day; the power is recomputed only when d does.
  PowersOf growth_power(growth);
  int32_t power_day = 0;
  double power = growth_power(0);
  for (std::size_t i = 0; i < values.size(); ++i) {
    const int32_t d = day_of(hour_count(i, p.step_hours));
    if (d != power_day) {
      power_day = d;
      power = growth_power(d);
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
