// Small conversions shared by the domain simulators.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

namespace tidemark::domain_detail {

inline constexpr double kTwoPi = 6.283185307179586;
inline constexpr const char* kNormalMessage =
    "invalid normal params: std must be finite and >= 0";

// Hours elapsed at step i: i * step_hours truncated toward zero to a signed
// 64-bit count, NaN giving 0 and out-of-range values saturating.
inline int64_t hour_count(std::size_t i, double step_hours) {
  const double h = static_cast<double>(i) * step_hours;
  if (std::isnan(h)) return 0;
  if (h >= 9223372036854775807.0) return std::numeric_limits<int64_t>::max();
  if (h <= -9223372036854775808.0) return std::numeric_limits<int64_t>::min();
  return static_cast<int64_t>(h);
}

// max(x, 0) where NaN (and -0.0) give +0.0.
inline double non_negative(double x) { return x > 0.0 ? x : 0.0; }

}  // namespace tidemark::domain_detail
