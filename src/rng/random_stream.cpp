#include "rng/random_stream.hpp"

#include <algorithm>

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

namespace {

inline uint64_t twist(uint64_t upper, uint64_t lower, uint64_t shifted) {
  const uint64_t x = (upper & kUpperMask) | (lower & kLowerMask);
  return shifted ^ (x >> 1) ^ (kTwist & (0 - (x & 1)));  // branch-free, so it vectorises
}

}  // namespace

void RandomStream::refill() {
  if (seeded_ < kWords || ready_ < kWords) {
    extend_first_block();
  } else {
    regenerate();
  }
}

// Regenerates the next words of the first block, extending the seeding
// recurrence just far enough: word k (k < 156) reads seeding words k, k + 1
// and k + 156; later words read seeding words and regenerated ones only.
// The step doubles (16, 32, 64, ...), so a stream that goes on drawing
// soon works in long, vectorised runs as a full regeneration would.
void RandomStream::extend_first_block() {
  constexpr std::size_t n = kWords, m = 156, kFirstStep = 16;
  const std::size_t end = std::min(n, ready_ + std::max(kFirstStep, ready_));
  const std::size_t need = std::min(n, end + m);
  for (std::size_t i = seeded_; i < need; ++i) {
    state_[i] = 6364136223846793005ULL * (state_[i - 1] ^ (state_[i - 1] >> 62)) + i;
  }
  seeded_ = std::max(seeded_, need);
  std::size_t k = ready_;
  for (; k < end && k < n - m; ++k) state_[k] = twist(state_[k], state_[k + 1], state_[k + m]);
  for (; k < end && k < n - 1; ++k) state_[k] = twist(state_[k], state_[k + 1], state_[k + m - n]);
  if (k == n - 1 && end == n) {
    state_[n - 1] = twist(state_[n - 1], state_[0], state_[m - 1]);
    ++k;
  }
  ready_ = k;
}

// The same pass as k = 0 .. 311 with indices taken mod 312, split at the
// wrap points so the hot loops carry no modulo.
void RandomStream::regenerate() {
  constexpr std::size_t n = kWords, m = 156;
  std::size_t k = 0;
  for (; k < n - m; ++k) state_[k] = twist(state_[k], state_[k + 1], state_[k + m]);
  for (; k < n - 1; ++k) state_[k] = twist(state_[k], state_[k + 1], state_[k + m - n]);
  state_[n - 1] = twist(state_[n - 1], state_[0], state_[m - 1]);
  index_ = 0;
  ready_ = n;
}

}  // namespace tidemark
