// The one rule by which a double becomes a signed 32-bit count or slot value:
// truncate toward zero, saturate at the range, NaN gives 0.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

namespace tidemark {

inline int32_t saturating_i32(double x) {
  if (std::isnan(x)) return 0;
  if (x >= 2147483647.0) return std::numeric_limits<int32_t>::max();
  if (x <= -2147483648.0) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(x);
}

// Integer power by repeated squaring, low bit first.  This grouping fixes
// the rounding, so every caller that speaks of an integer power uses it.
inline double integer_power(double x, int32_t n) {
  uint32_t bits = n < 0 ? 0u - static_cast<uint32_t>(n) : static_cast<uint32_t>(n);
  double r = (bits & 1u) ? x : 1.0;
  for (bits >>= 1; bits != 0; bits >>= 1) {
    x = x * x;
    if (bits & 1u) r = r * x;
  }
  return n < 0 ? 1.0 / r : r;
}

}  // namespace tidemark
