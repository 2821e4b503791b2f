// MT19937-64 with the conversions and ziggurat variates every generator
// builds on.  Everything here sits on the hot path of every series, so the
// state lives inline and all draws are inlined.
#pragma once

#include <array>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "core/internal_failure.hpp"

namespace tidemark {

// 256-layer Marsaglia-Tsang ziggurat: x[i] are the layer edges, f[i] the
// density at them; 257 entries each, x[256] = 0 and f[256] = 1.
struct ZigguratTable {
  std::array<double, 257> x;
  std::array<double, 257> f;
};

extern const ZigguratTable kNormalZiggurat;
extern const ZigguratTable kExponentialZiggurat;
inline constexpr double kNormalTailStart = 3.654152885361009;
inline constexpr double kExponentialTailStart = 7.69711747013105;

class RandomStream {
 public:
  static constexpr std::size_t kWords = 312;

  // Seeding is lazy: word k of the first block needs only the seeding words
  // up to k + 156, so the seeding recurrence and the first regeneration run
  // a few words ahead of the draws instead of in full up front.  A short
  // series that draws a few dozen words skips most of both; the words are
  // the same, in the same order.
  explicit RandomStream(uint64_t seed) {
    state_[0] = seed;
    seeded_ = 1;
    ready_ = 0;
    index_ = 0;
  }

  uint64_t next_u64() {
    if (index_ >= ready_) refill();
    uint64_t y = state_[index_++];
    y ^= (y >> 29) & 0x5555555555555555ULL;
    y ^= (y << 17) & 0x71D67FFFEDA60000ULL;
    y ^= (y << 37) & 0xFFF7EEE000000000ULL;
    y ^= y >> 43;
    return y;
  }

  uint32_t next_u32() { return static_cast<uint32_t>(next_u64()); }

  // [0, 1) with 53 random bits.
  double uniform01() { return static_cast<double>(next_u64() >> 11) * 0x1.0p-53; }

  // (0, 1) with 52 random bits: never 0, never 1.
  double uniform_open01() { return mantissa_1_2(next_u64()) - (1.0 - 0x1.0p-53); }

  // [0, 1) with 52 random bits; the one other word-to-double conversion.
  double unit_mantissa() { return mantissa_1_2(next_u64()) - 1.0; }

  // A double in [a, b).  The bounds are checked before anything is drawn.
  double sample_uniform(double a, double b) {
    const double width = uniform_width(a, b);
    return clamp_below(unit_mantissa() * width + a, b);
  }

  // Width for sample_uniform: shrunk until the largest mantissa stays
  // below b.  Callers drawing many values on fixed bounds may hoist it.
  static double uniform_width(double a, double b) {
    if (!(a < b) || std::isinf(b - a)) {
      internal_failure("invalid uniform params: requires a < b and finite");
    }
    double width = b - a;
    while (a + width * (1.0 - 0x1.0p-52) > b) width = previous_double(width);
    return width;
  }

  // Rounding of m * width + a can still land on b; the interval is
  // half-open, so such a draw becomes the largest double below b.
  static double clamp_below(double value, double b) {
    return value >= b ? std::nextafter(b, -INFINITY) : value;
  }

  // A signed 32-bit integer in [low, high), unbiased multiply-and-reject.
  int32_t sample_int_range(int32_t low, int32_t high) {
    if (!(low < high)) internal_failure("invalid integer range: requires low < high");
    const uint32_t range = static_cast<uint32_t>(static_cast<int64_t>(high) - low);
    const uint32_t threshold = (0u - range) % range;
    uint64_t product;
    do {
      product = static_cast<uint64_t>(next_u32()) * range;
    } while (static_cast<uint32_t>(product) < threshold);
    return static_cast<int32_t>(static_cast<int64_t>(low) + static_cast<int64_t>(product >> 32));
  }

  double standard_normal() {
    const ZigguratTable& z = kNormalZiggurat;
    for (;;) {
      const uint64_t y = next_u64();
      const std::size_t i = y & 0xFF;
      const double u = std::bit_cast<double>((y >> 12) | 0x4000000000000000ULL) - 3.0;
      const double x = u * z.x[i];
      if (std::fabs(x) < z.x[i + 1]) return x;
      if (i == 0) return normal_tail(u);
      if (z.f[i + 1] + (z.f[i] - z.f[i + 1]) * uniform01() < std::exp(-x * x / 2.0)) return x;
    }
  }

  double standard_exponential() {
    const ZigguratTable& z = kExponentialZiggurat;
    for (;;) {
      const uint64_t y = next_u64();
      const std::size_t i = y & 0xFF;
      const double u = mantissa_1_2(y) - (1.0 - 0x1.0p-53);
      const double x = u * z.x[i];
      if (x < z.x[i + 1]) return x;
      if (i == 0) return kExponentialTailStart - std::log(uniform01());
      if (z.f[i + 1] + (z.f[i] - z.f[i + 1]) * uniform01() < std::exp(-x)) return x;
    }
  }

 private:
  static double mantissa_1_2(uint64_t y) {
    return std::bit_cast<double>((y >> 12) | 0x3FF0000000000000ULL);
  }

  static double previous_double(double x) {
    return std::bit_cast<double>(std::bit_cast<uint64_t>(x) - 1);
  }

  double normal_tail(double u) {
    double a, b;
    do {
      a = std::log(uniform_open01()) / kNormalTailStart;
      b = std::log(uniform_open01());
    } while (a * a > -2.0 * b);
    return u < 0.0 ? a - kNormalTailStart : kNormalTailStart - a;
  }

  void refill();
  void extend_first_block();
  void regenerate();

  std::array<uint64_t, kWords> state_;
  std::size_t index_;   // next word to temper
  std::size_t ready_;   // words of the current block regenerated so far
  std::size_t seeded_;  // seeding words computed (kWords once complete)
};

}  // namespace tidemark
