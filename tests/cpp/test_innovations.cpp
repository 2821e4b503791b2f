#include "rng/innovations.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "rng/samplers.hpp"
#include "testing.hpp"

using namespace tidemark;

namespace {

constexpr uint64_t kSeed = 987654321;

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

std::vector<double> draws(const InnovationSpec& spec, double scale, int n, uint64_t seed = kSeed) {
  RandomStream s(seed);
  std::vector<double> out(static_cast<std::size_t>(n));
  for (double& x : out) x = draw_innovation(s, spec, scale);
  return out;
}

struct Shape {
  double mean, variance, skew, beyond_one_sd;  // share of |x| > scale
};

Shape shape_of(const std::vector<double>& x, double scale) {
  double sum = 0.0, beyond = 0.0;
  for (double v : x) {
    sum += v;
    if (std::fabs(v) > scale) beyond += 1.0;
  }
  const double n = static_cast<double>(x.size()), mean = sum / n;
  double m2 = 0.0, m3 = 0.0;
  for (double v : x) {
    const double d = v - mean;
    m2 += d * d;
    m3 += d * d * d;
  }
  m2 /= n;
  m3 /= n;
  return {mean, m2, m3 / std::pow(m2, 1.5), beyond / n};
}

}  // namespace

TEST_CASE("innovation checks and their messages") {
  struct Case {
    InnovationSpec spec;
    double scale;
    const char* message;
  };
  const Case cases[] = {
      {{1, 2.0}, 1.0, "Student's t df must be > 2 for finite variance"},
      {{1, NAN}, 1.0, "Student's t df must be > 2 for finite variance"},
      {{2, 0.0}, -1.0, "invalid laplace param: scale must be > 0"},
      {{2, 0.0}, -0.0, "invalid laplace param: scale must be > 0"},
      {{2, 0.0}, NAN, "invalid laplace param: scale must be > 0"},
      {{2, 0.0}, -INFINITY, "invalid laplace param: scale must be > 0"},
      {{3, 0.0}, 0.0, "invalid uniform innovation param: scale must be > 0"},
      {{3, 0.0}, -1.0, "invalid uniform innovation param: scale must be > 0"},
      {{3, 0.0}, NAN, "invalid uniform innovation param: scale must be > 0"},
      {{3, 0.0}, 1e308, "invalid uniform innovation param: scale must be > 0"},
      {{0, 0.0}, INFINITY, "invalid normal params: std must be finite and >= 0"},
      {{9, 0.0}, NAN, "invalid normal params: std must be finite and >= 0"},
  };
  for (const Case& c : cases) {
    RandomStream s(kSeed), ref(kSeed);
    CHECK_FAILS_WITH(draw_innovation(s, c.spec, c.scale), c.message);
    CHECK_FAILS_WITH(InnovationSampler(c.spec, c.scale), c.message);
    double one = 0.0;
    const bool is_normal = c.spec.code == 0 || c.spec.code == 9;
    CHECK_FAILS_WITH(fill_innovations(s, c.spec, c.scale, std::span<double>(&one, 1)),
                     is_normal ? "invalid normal innovation param: scale must be finite and >= 0"
                               : c.message);
    CHECK_EQ(s.next_u64(), ref.next_u64());
  }
}

TEST_CASE("fill_innovations checks an empty buffer, except for the skew-normal") {
  RandomStream s(kSeed), ref(kSeed);
  CHECK_FAILS_WITH(fill_innovations(s, {1, 1.5}, 1.0, {}), "Student's t df must be > 2");
  CHECK_FAILS_WITH(fill_innovations(s, {0, 0.0}, NAN, {}), "invalid normal innovation param");
  fill_innovations(s, {4, NAN}, NAN, {});
  fill_innovations(s, {2, 0.0}, 1.0, {});
  CHECK_EQ(s.next_u64(), ref.next_u64());
}

TEST_CASE("fill_innovations and InnovationSampler repeat draw_innovation exactly") {
  const InnovationSpec specs[] = {{0, 0.0}, {7, 0.0}, {1, 2.5}, {1, 30.0}, {1, INFINITY},
                                  {2, 0.0}, {3, 0.0}, {4, 4.0}, {4, -1.5}, {4, NAN}};
  for (const InnovationSpec& spec : specs) {
    const int n = 1000;
    const std::vector<double> expected = draws(spec, 1.7, n);
    std::vector<double> filled(static_cast<std::size_t>(n)), sampled(filled.size());
    RandomStream a(kSeed), b(kSeed), ref(kSeed);
    for (int i = 0; i < n; ++i) draw_innovation(ref, spec, 1.7);
    fill_innovations(a, spec, 1.7, filled);
    const InnovationSampler shock(spec, 1.7);
    for (double& x : sampled) x = shock(b);
    bool identical = true;
    for (std::size_t i = 0; i < filled.size(); ++i) {
      identical = identical && same_bits(filled[i], expected[i]) &&
                  same_bits(sampled[i], expected[i]);
    }
    CHECK(identical);
    const uint64_t next = ref.next_u64();
    CHECK_EQ(a.next_u64(), next);
    CHECK_EQ(b.next_u64(), next);
  }
}

TEST_CASE("unlisted codes are normal and ignored parameters change nothing") {
  const std::vector<double> normal = draws({0, 0.0}, 2.0, 2000);
  bool same = true;
  for (InnovationSpec spec : {InnovationSpec{5, 0.0}, InnovationSpec{-1, 0.0},
                              InnovationSpec{0, NAN}, InnovationSpec{1000, 3.0}}) {
    const std::vector<double> other = draws(spec, 2.0, 2000);
    for (std::size_t i = 0; i < other.size(); ++i) same = same && same_bits(other[i], normal[i]);
  }
  for (int code : {2, 3}) {
    const std::vector<double> base = draws({code, 0.0}, 2.0, 2000);
    for (double param : {double(NAN), -7.0, double(INFINITY)}) {
      const std::vector<double> other = draws({code, param}, 2.0, 2000);
      for (std::size_t i = 0; i < other.size(); ++i) same = same && same_bits(other[i], base[i]);
    }
  }
  CHECK(same);
}

TEST_CASE("zero-scale shocks are +0.0 and still draw") {
  RandomStream s(kSeed), ref(kSeed);
  for (int i = 0; i < 1000; ++i) {
    const double normal = draw_innovation(s, {0, 0.0}, 0.0);
    const double negative_zero = draw_innovation(s, {0, 0.0}, -0.0);
    CHECK(normal == 0.0 && !std::signbit(normal));
    CHECK(negative_zero == 0.0 && !std::signbit(negative_zero));
    ref.standard_normal();
    ref.standard_normal();
    CHECK_EQ(draw_innovation(s, {2, 0.0}, 0.0), 0.0);
    ref.standard_exponential();
    ref.standard_exponential();
  }
  CHECK_EQ(s.next_u64(), ref.next_u64());
}

TEST_CASE("innovation draw order") {
  RandomStream s(kSeed), ref(kSeed);
  const double scale = 1.3;
  for (int i = 0; i < 500; ++i) {
    // Student t: the normal first, then a chi-square as Gamma(dof / 2, 2).
    const double z = ref.standard_normal();
    const double chi2 = sample_gamma(ref, 5.0, 2.0);
    const double factor = scale * std::sqrt((10.0 - 2.0) / 10.0);
    CHECK_EQ(draw_innovation(s, {1, 10.0}, scale), factor * (z * std::sqrt(10.0 / chi2)));
    // Skew-normal with shape 0: |z1| is drawn and discarded by delta = 0.
    ref.standard_normal();
    const double z2 = ref.standard_normal();
    CHECK_EQ(draw_innovation(s, {4, 0.0}, scale), scale * z2);
    // Uniform: exactly one word.
    const double u = draw_innovation(s, {3, 0.0}, scale);
    ref.next_u64();
    CHECK(u >= -scale * 1.7320508075688772 && u < scale * 1.7320508075688772);
  }
  CHECK_EQ(s.next_u64(), ref.next_u64());
}

TEST_CASE("uniform shocks stay below a on the tightest bounds") {
  // a = 2^-1073: m * width - a lands on a for every mantissa above 7/8.
  const double sigma = std::numeric_limits<double>::denorm_min();
  const double a = sigma * 1.7320508075688772;
  RandomStream s(kSeed);
  bool in_range = true;
  int at_top = 0;
  for (int i = 0; i < 10000; ++i) {
    const double x = draw_innovation(s, {3, 0.0}, sigma);
    in_range = in_range && x >= -a && x < a;
    if (x == std::nextafter(a, 0.0)) ++at_top;
  }
  CHECK(in_range);
  CHECK(at_top > 0);
  std::vector<double> bounded(10000);
  fill_innovations(s, {3, 0.0}, 1.0, bounded);
  const double unit_a = 1.7320508075688772;
  for (double x : bounded) in_range = in_range && x >= -unit_a && x < unit_a;
  CHECK(in_range);
}

TEST_CASE("every code gives mean 0, variance scale^2 and its own shape") {
  constexpr double kNoTail = -1.0;
  struct Case {
    const char* name;
    InnovationSpec spec;
    bool check_variance;   // Student t(3) has no fourth moment: its tail share checks it
    double beyond_one_sd;  // P(|x| > scale)
  };
  const Case cases[] = {
      {"normal", {0, 0.0}, true, 0.31731},
      {"student t(10)", {1, 10.0}, true, kNoTail},
      {"student t(3)", {1, 3.0}, false, 0.18169},
      {"laplace", {2, 0.0}, true, 0.24312},  // exp(-sqrt 2)
      {"uniform", {3, 0.0}, true, 0.42265},  // 1 - 1 / sqrt 3
      {"skew-normal(6)", {4, 6.0}, true, kNoTail},
      {"skew-normal(-6)", {4, -6.0}, true, kNoTail},
  };
  const double scale = 2.0;
  for (const Case& c : cases) {
    const Shape sh = shape_of(draws(c.spec, scale, 200000), scale);
    bool ok = std::fabs(sh.mean) < 0.02 * scale;
    if (c.check_variance) ok = ok && std::fabs(sh.variance / (scale * scale) - 1.0) < 0.03;
    if (c.beyond_one_sd != kNoTail) {
      ok = ok && std::fabs(sh.beyond_one_sd - c.beyond_one_sd) < 0.005;
    }
    if (c.spec.code == 4) ok = ok && (c.spec.param > 0 ? sh.skew > 0.5 : sh.skew < -0.5);
    if (!ok) {
      testing::report(__FILE__, __LINE__,
                      std::string(c.name) + ": mean " + std::to_string(sh.mean) + " variance " +
                          std::to_string(sh.variance) + " skew " + std::to_string(sh.skew) +
                          " beyond " + std::to_string(sh.beyond_one_sd));
    }
  }
}

TEST_CASE("student t just above 2 degrees of freedom is finite and heavy-tailed") {
  const std::vector<double> x = draws({1, 2.0000001}, 1.0, 10000);
  std::vector<double> magnitude;
  for (double v : x) magnitude.push_back(std::fabs(v));
  bool finite = true;
  double largest = 0.0;
  for (double m : magnitude) {
    finite = finite && std::isfinite(m);
    largest = std::max(largest, m);
  }
  std::nth_element(magnitude.begin(), magnitude.begin() + 5000, magnitude.end());
  CHECK(finite);
  CHECK(largest > 30.0 * magnitude[5000]);  // a normal sample gives about 6
}

TEST_CASE("innovation sequences are pinned") {
  // FNV-1a over the bit patterns of 2000 shocks per code from one seed.
  struct Case {
    InnovationSpec spec;
    uint64_t hash;
  };
  const Case cases[] = {{{0, 0.0}, 7352132951345218919ULL},
                        {{1, 4.5}, 4252843146518394305ULL},
                        {{2, 0.0}, 16453744089886459201ULL},
                        {{3, 0.0}, 14173120983711903783ULL},
                        {{4, 2.5}, 13117098549157929662ULL}};
  for (const Case& c : cases) {
    uint64_t hash = 14695981039346656037ULL;
    for (double x : draws(c.spec, 0.8, 2000)) {
      uint64_t bits;
      std::memcpy(&bits, &x, sizeof bits);
      hash = (hash ^ bits) * 1099511628211ULL;
    }
    if (hash != c.hash) {
      testing::report(__FILE__, __LINE__,
                      "code " + std::to_string(c.spec.code) + " " + std::to_string(hash));
    }
  }
}
