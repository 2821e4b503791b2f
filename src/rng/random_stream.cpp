#include "rng/random_stream.hpp"

namespace tidemark {
namespace {

constexpr uint64_t kUpperMask = 0xFFFFFFFF80000000ULL;
constexpr uint64_t kLowerMask = 0x7FFFFFFFULL;
constexpr uint64_t kTwist = 0xB5026F5AA96619E9ULL;

// Layer edges from the tail start R and layer area V:
// x[1] = R, x[0] = V / f(R), x[i+1] = f^-1(V / x[i] + f(x[i])).
template <class Density, class Inverse>
ZigguratTable build_table(double r, double v, Density f, Inverse f_inv) {
  ZigguratTable t{};
  t.x[1] = r;
  t.x[0] = v / f(r);
  for (std::size_t i = 1; i < 255; ++i) t.x[i + 1] = f_inv(v / t.x[i] + f(t.x[i]));
  t.x[256] = 0.0;
  for (std::size_t i = 0; i < 256; ++i) t.f[i] = f(t.x[i]);
  t.f[256] = 1.0;
  return t;
}

}  // namespace

const ZigguratTable kNormalZiggurat = build_table(
    kNormalTailStart, 0.00492867323399, [](double x) { return std::exp(-x * x / 2.0); },
    [](double y) { return std::sqrt(-2.0 * std::log(y)); });

const ZigguratTable kExponentialZiggurat = build_table(
    kExponentialTailStart, 0.003949659822581557, [](double x) { return std::exp(-x); },
    [](double y) { return -std::log(y); });

void RandomStream::regenerate() {
  for (std::size_t k = 0; k < kWords; ++k) {
    const uint64_t x = (state_[k] & kUpperMask) | (state_[(k + 1) % kWords] & kLowerMask);
    state_[k] = state_[(k + 156) % kWords] ^ (x >> 1) ^ ((x & 1) ? kTwist : 0);
  }
  index_ = 0;
}

}  // namespace tidemark
