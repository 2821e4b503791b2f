// Helpers shared by the injection sources only.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <limits>

namespace tidemark::injection {

// The missing-value marker: exactly this quiet NaN, so labelled data can be
// told apart from NaNs a generator might produce.
inline const double kMissingValue = std::bit_cast<double>(0x7FF8000000000000ULL);

// Counts derived from the length use it as a signed 32-bit value; a longer
// buffer saturates rather than wrapping into a negative length.
inline double length_as_i32(std::size_t n) {
  const std::size_t cap = static_cast<std::size_t>(std::numeric_limits<int32_t>::max());
  return static_cast<double>(std::min(n, cap));
}

inline int64_t length_of(std::size_t n) { return static_cast<int64_t>(n); }

}  // namespace tidemark::injection
