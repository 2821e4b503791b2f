#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

#include "core/internal_failure.hpp"
#include "generators/domain/domain.hpp"
#include "generators/domain/domain_internal.hpp"
#include "rng/random_stream.hpp"

namespace tidemark {
namespace {

using domain_detail::hour_count;
using domain_detail::kNormalMessage;
using domain_detail::kTwoPi;
using domain_detail::non_negative;

// The calendar of one step.  Divisions truncate, so a negative hour count
// (batch rows with a negative step) gives negative fields.
struct Calendar {
  int64_t hour_of_day;
  int64_t day_of_week;
  int64_t day_of_year;

  explicit Calendar(int64_t h) {
    const int64_t day = h / 24;
    hour_of_day = h % 24;
    day_of_week = day - (h / 168) * 7;
    day_of_year = day - (h / 8760) * 365;
  }
};

// A term that depends on one calendar field only, which lies in
// (-size, size): computed on first use and reused, so long series evaluate
// each trigonometric term once per distinct field value.  The cached value
// is the one the expression gives, so the bits do not change.
template <int64_t Size>
class FieldCache {
 public:
  template <class Compute>
  double get(int64_t field, Compute&& compute) {
    const auto slot = static_cast<std::size_t>(field + (Size - 1));
    if (!known_[slot]) {
      values_[slot] = compute(field);
      known_[slot] = true;
    }
    return values_[slot];
  }

 private:
  std::array<double, 2 * Size - 1> values_{};
  std::array<bool, 2 * Size - 1> known_{};
};

// How often each day of the year appears in holiday_days; a day listed
// twice is reduced twice.  Days outside the calendar's range never match.
class HolidayCounts {
 public:
  explicit HolidayCounts(std::span<const int32_t> days) : counts_(2 * 365 - 1, 0) {
    for (const int32_t d : days) {
      if (d > -365 && d < 365) ++counts_[static_cast<std::size_t>(d + 364)];
    }
  }
  std::size_t operator()(int64_t day_of_year) const {
    return counts_[static_cast<std::size_t>(day_of_year + 364)];
  }

 private:
  std::vector<std::size_t> counts_;
};

double daily_load(const EnergyLoadParams& p, int64_t hod) {
  const double h = static_cast<double>(hod);
  switch (p.load_type) {
    case 0: {
      const double dm = h - static_cast<double>(p.morning_peak_hour);
      const double de = h - static_cast<double>(p.evening_peak_hour);
      const double morning = std::exp(-(dm * dm) * 0.125) * p.peak_amplitude;
      const double evening = std::exp(-(de * de) * 0.125) * p.peak_amplitude;
      return (evening + morning) + p.base_load;
    }
    case 1: {
      const int64_t k = (hod - 14) * (14 - hod);
      return std::exp(static_cast<double>(k) / 50.0) * p.daily_amplitude + p.base_load;
    }
    case 2: {
      const int64_t k = (hod - 3) * (3 - hod);
      return std::exp(static_cast<double>(k) / 20.0) * (-p.daily_amplitude) + p.base_load;
    }
    default:
      return 0.0 + p.base_load;
  }
}

}  // namespace

Status generate_energy_load(const EnergyLoadParams& p, uint64_t seed, std::span<double> out) {
  if (out.empty()) return std::nullopt;
  RandomStream stream(seed);
  const std::size_t n = out.size();

  // Temperatures are all drawn before any load value; each is read once, at
  // its own step, so they wait in the output buffer.
  if (p.temperature_sensitive) {
    FieldCache<24> daily_swing;
    FieldCache<365> yearly_swing;
    for (std::size_t i = 0; i < n; ++i) {
      const Calendar c(hour_count(i, p.step_hours));
      const double day_term = daily_swing.get(c.hour_of_day, [](int64_t hod) {
        return std::cos(static_cast<double>(hod) * kTwoPi / 24.0) * 5.0;
      });
      const double year_term = yearly_swing.get(c.day_of_year, [](int64_t y) {
        return std::cos(static_cast<double>(y) * kTwoPi / 365.0) * 10.0;
      });
      const double z = stream.standard_normal();
      out[i] = ((p.base_temperature - day_term) - year_term) + (z * 2.0 + 0.0);
    }
  }

  FieldCache<24> daily;
  FieldCache<7> weekly;
  FieldCache<365> yearly;
  const HolidayCounts holidays(p.holiday_days);
  const double holiday_keep = 1.0 - p.holiday_effect;
  for (std::size_t i = 0; i < n; ++i) {
    const Calendar c(hour_count(i, p.step_hours));
    double load = p.base_load;
    if (p.daily_pattern) {
      load = daily.get(c.hour_of_day, [&](int64_t hod) { return daily_load(p, hod); });
    }
    if (p.weekly_pattern) {
      if (p.load_type > 1) {
        load = load + weekly.get(c.day_of_week, [&](int64_t w) {
          return std::sin(static_cast<double>(w) * kTwoPi / 7.0) * p.weekly_amplitude;
        });
      } else if (c.day_of_week > 4) {
        load = load - p.weekly_amplitude;
      }
    }
    if (p.yearly_pattern) {
      load = load + yearly.get(c.day_of_year, [&](int64_t y) {
        return (std::cos(static_cast<double>(y) * kTwoPi / 365.0) + 1.0) * p.yearly_amplitude;
      });
    }
    if (p.temperature_sensitive) {
      load = load + std::fabs(out[i] - p.base_temperature) * p.temperature_sensitivity;
    }
    for (std::size_t k = holidays(c.day_of_year); k > 0; --k) load = load * holiday_keep;
    if (stream.uniform01() < p.extreme_weather_prob) load = p.extreme_weather_impact * load;
    out[i] = non_negative(load);
  }

  if (!std::isfinite(p.noise_std)) internal_failure(kNormalMessage);
  for (std::size_t i = 0; i < n; ++i) {
    out[i] = non_negative((stream.standard_normal() * p.noise_std + 0.0) + out[i]);
  }
  return std::nullopt;
}

}  // namespace tidemark
