// Pieces shared by the composite generators (MAR, TCM, TSI): the candidate
// test that decides whether an attempt is kept, population moments, the
// range draws of their hyper-parameters, and the guard that turns a work
// buffer larger than the machine into std::bad_alloc instead of an
// overcommitted allocation that would later kill the process.
#pragma once

#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <new>
#include <span>

#include "rng/random_stream.hpp"

namespace tidemark::composite {

// A candidate is kept only if every value is finite and below this bound in
// magnitude, and (for two or more values) it is not flat.
inline constexpr double kMaxMagnitude = 1e8;
inline constexpr double kMinSpread = 1e-8;

// Every value finite and |x| < 1e8; stops at the first bad value.
inline bool finite_and_bounded(std::span<const double> values) {
  for (double x : values) {
    if (!(std::fabs(x) < kMaxMagnitude)) return false;  // NaN fails too
  }
  return true;
}

struct Moments {
  double mean = 0.0;
  double sd = 0.0;  // population: squared deviations divided by n
};

// Two passes, each a left-to-right sum.  Callers pass at least one value.
inline Moments population_moments(std::span<const double> values) {
  const double n = static_cast<double>(values.size());
  double sum = 0.0;
  for (double x : values) sum = sum + x;
  const double mean = sum / n;
  double squares = 0.0;
  for (double x : values) {
    const double d = x - mean;
    squares = squares + d * d;
  }
  return {mean, std::sqrt(squares / n)};
}

inline void standardise(std::span<double> values, const Moments& m) {
  for (double& x : values) x = (x - m.mean) / m.sd;
}

// A range pair: lo without a draw when lo >= hi, else uniform(lo, hi).  A NaN
// bound reaches the draw, whose check refuses it.
inline double draw_range(RandomStream& s, double lo, double hi) {
  return lo >= hi ? lo : s.sample_uniform(lo, hi);
}

// A log range pair: lo without a draw when lo >= hi, else log-uniform.  A
// bound <= 0 gives a non-finite log width, which the draw refuses.
inline double draw_log_range(RandomStream& s, double lo, double hi) {
  return lo >= hi ? lo : std::exp(s.sample_uniform(std::log(lo), std::log(hi)));
}

// An integer in [lo, hi] (lo <= hi): sample_int_range(lo, hi + 1) wherever
// hi + 1 fits; a span of 2^31 or more continues the same unsigned 32-bit
// rejection, and the full span of 2^32 takes one word as it is.
inline int32_t draw_int_inclusive(RandomStream& s, int32_t lo, int32_t hi) {
  if (hi < std::numeric_limits<int32_t>::max()) return s.sample_int_range(lo, hi + 1);
  const int64_t span = static_cast<int64_t>(hi) - lo + 1;
  if (span >= (int64_t{1} << 32)) {
    return static_cast<int32_t>(static_cast<int64_t>(lo) + s.next_u32());
  }
  const uint32_t range = static_cast<uint32_t>(span);
  const uint32_t threshold = (0u - range) % range;
  uint64_t product;
  do {
    product = static_cast<uint64_t>(s.next_u32()) * range;
  } while (static_cast<uint32_t>(product) < threshold);
  return static_cast<int32_t>(static_cast<int64_t>(lo) + static_cast<int64_t>(product >> 32));
}

// Physical memory in bytes, read once; 0 when the system does not say.
inline double physical_memory_bytes() {
  static const double bytes = [] {
    const long pages = sysconf(_SC_PHYS_PAGES), page = sysconf(_SC_PAGE_SIZE);
    return pages > 0 && page > 0 ? static_cast<double>(pages) * static_cast<double>(page)
                                 : 0.0;
  }();
  return bytes;
}

// Throws std::bad_alloc unless `count` elements of `size` bytes could fit in
// this machine's memory.  The product is formed in double, so no count can
// wrap it.
inline void require_memory(double count, double size) {
  const double bytes = count * size;
  const double limit = physical_memory_bytes();
  if (!(bytes <= (limit > 0.0 ? limit : 0x1.0p62))) throw std::bad_alloc();
}

}  // namespace tidemark::composite
