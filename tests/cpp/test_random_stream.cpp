#include "rng/random_stream.hpp"

#include <cstring>
#include <vector>

#include "testing.hpp"

using tidemark::RandomStream;

TEST_CASE("mt19937-64 published check values") {
  RandomStream s(5489);
  CHECK_EQ(s.next_u64(), 14514284786278117030ULL);
  for (int i = 1; i < 9999; ++i) s.next_u64();
  CHECK_EQ(s.next_u64(), 9981545732273789042ULL);
}

// The textbook eager MT19937-64 (full seeding, then whole-block twists),
// against which the lazily seeded stream must agree word for word across
// the first block's seams (words 155/156, 311) and into later blocks.
static std::vector<uint64_t> eager_words(uint64_t seed, std::size_t count) {
  constexpr std::size_t n = 312, m = 156;
  uint64_t mt[n];
  mt[0] = seed;
  for (std::size_t i = 1; i < n; ++i) mt[i] = 6364136223846793005ULL * (mt[i - 1] ^ (mt[i - 1] >> 62)) + i;
  std::vector<uint64_t> out;
  std::size_t idx = n;
  while (out.size() < count) {
    if (idx == n) {
      for (std::size_t k = 0; k < n; ++k) {
        const uint64_t x = (mt[k] & 0xFFFFFFFF80000000ULL) | (mt[(k + 1) % n] & 0x7FFFFFFFULL);
        mt[k] = mt[(k + m) % n] ^ (x >> 1) ^ ((x & 1) ? 0xB5026F5AA96619E9ULL : 0);
      }
      idx = 0;
    }
    uint64_t y = mt[idx++];
    y ^= (y >> 29) & 0x5555555555555555ULL;
    y ^= (y << 17) & 0x71D67FFFEDA60000ULL;
    y ^= (y << 37) & 0xFFF7EEE000000000ULL;
    y ^= y >> 43;
    out.push_back(y);
  }
  return out;
}

TEST_CASE("lazy seeding gives the eager stream's words") {
  for (uint64_t seed : {0ULL, 1ULL, 5489ULL, 0xFFFFFFFFFFFFFFFFULL, 0x9E3779B97F4A7C15ULL}) {
    const std::vector<uint64_t> expected = eager_words(seed, 1000);
    RandomStream s(seed);
    bool same = true;
    for (uint64_t word : expected) same = same && s.next_u64() == word;
    CHECK(same);
  }
}

TEST_CASE("seed 0 is a valid stream") {
  RandomStream a(0), b(0);
  uint64_t first = a.next_u64();
  CHECK(first != 0);
  CHECK_EQ(first, b.next_u64());
}

TEST_CASE("ziggurat tables follow the construction rule") {
  const auto& n = tidemark::kNormalZiggurat;
  // Entries published to full precision must match bit for bit; the two
  // f[0] values are published to 15 digits only.
  CHECK_EQ(n.x[0], 3.91075795953709);
  CHECK_EQ(n.x[1], 3.654152885361009);
  CHECK_EQ(n.x[2], 3.4492782985609645);
  CHECK_NEAR(n.f[0], 0.000477467764586655, 1e-18);
  CHECK_EQ(n.f[1], 0.001260285930498598);
  CHECK_EQ(n.x[256], 0.0);
  CHECK_EQ(n.f[256], 1.0);
  const auto& e = tidemark::kExponentialZiggurat;
  CHECK_EQ(e.x[0], 8.697117470131053);
  CHECK_EQ(e.x[1], 7.69711747013105);
  CHECK_EQ(e.x[2], 6.941033629377213);
  CHECK_NEAR(e.f[0], 0.000167066692307963, 1e-18);
  CHECK_EQ(e.x[256], 0.0);
  CHECK_EQ(e.f[256], 1.0);
  for (int i = 1; i < 256; ++i) CHECK(n.x[i + 1] < n.x[i] && e.x[i + 1] < e.x[i]);
}

TEST_CASE("uniform conversions stay in their intervals") {
  RandomStream s(7);
  for (int i = 0; i < 100000; ++i) {
    double u = s.uniform01(), o = s.uniform_open01(), m = s.unit_mantissa();
    CHECK(u >= 0.0 && u < 1.0);
    CHECK(o > 0.0 && o < 1.0);
    CHECK(m >= 0.0 && m < 1.0);
  }
}

TEST_CASE("sample_uniform keeps results below b even when rounding reaches it") {
  // The all-ones word is the largest mantissa; with (5, 5.5) plain
  // m * width + a rounds to 5.5 itself.
  CHECK(tidemark::RandomStream::clamp_below(5.0 + (1.0 - 0x1.0p-52) * 0.5, 5.5) < 5.5);
  const double lo = 1e16, hi = 1e16 + 2;
  RandomStream s(11);
  for (int i = 0; i < 10000; ++i) {
    double x = s.sample_uniform(lo, hi);
    CHECK(x >= lo && x < hi);
    double y = s.sample_uniform(5.0, 5.5);
    CHECK(y >= 5.0 && y < 5.5);
  }
}

TEST_CASE("bounded draws check before drawing") {
  RandomStream s(3), ref(3);
  CHECK_FAILS_WITH(s.sample_uniform(1.0, 1.0), "invalid uniform params: requires a < b and finite");
  CHECK_FAILS_WITH(s.sample_uniform(0.0, NAN), "invalid uniform params");
  CHECK_FAILS_WITH(s.sample_uniform(-1e308, 1e308), "invalid uniform params");
  CHECK_FAILS_WITH(s.sample_int_range(5, 5), "invalid integer range: requires low < high");
  CHECK_EQ(s.next_u64(), ref.next_u64());
}

TEST_CASE("sample_int_range(0, 1) is 0 and consumes one word") {
  RandomStream s(9), ref(9);
  CHECK_EQ(s.sample_int_range(0, 1), 0);
  ref.next_u64();
  CHECK_EQ(s.next_u64(), ref.next_u64());
  for (int i = 0; i < 1000; ++i) {
    int32_t v = s.sample_int_range(-3, 4);
    CHECK(v >= -3 && v < 4);
  }
  int32_t full = s.sample_int_range(INT32_MIN, INT32_MAX);
  CHECK(full < INT32_MAX);
}

TEST_CASE("normal and exponential ziggurat moments") {
  RandomStream s(42);
  const int n = 1000000;
  double sum = 0, sq = 0, esum = 0, esq = 0;
  for (int i = 0; i < n; ++i) {
    double z = s.standard_normal();
    sum += z; sq += z * z;
    double e = s.standard_exponential();
    CHECK(e >= 0.0);
    esum += e; esq += e * e;
  }
  CHECK_NEAR(sum / n, 0.0, 0.005);
  CHECK_NEAR(sq / n, 1.0, 0.01);
  CHECK_NEAR(esum / n, 1.0, 0.005);
  CHECK_NEAR(esq / n, 2.0, 0.03);
}
