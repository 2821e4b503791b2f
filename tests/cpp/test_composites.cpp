// Composite generators against plain, step-by-step re-statements of their
// rules: full buffers, dense coefficient lists, fresh searches.  The
// generators use sliding windows, skipped zero runs and hoisted samplers;
// these tests pin that those give the same bits.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "generators/composite.hpp"
#include "generators/mar/mar.hpp"
#include "generators/tcm/tcm.hpp"
#include "generators/tsi/tsi.hpp"
#include "rng/innovations.hpp"
#include "rng/samplers.hpp"
#include "testing.hpp"

using namespace tidemark;

namespace {

constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
constexpr int32_t kMin = std::numeric_limits<int32_t>::min();

bool same_bits(const std::vector<double>& a, const std::vector<double>& b) {
  return a.size() == b.size() &&
         (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0);
}

std::string refusal(const Status& status) { return status ? status->message : std::string(); }

using Arrays = std::vector<std::vector<double>>;

// ------------------------------------------------------------- MAR reference

struct RefConfig {
  std::vector<double> w, mu, sigma;
  std::vector<std::vector<double>> phi;
};

RefConfig ref_draw_config(const std::vector<double>& s, RandomStream& st) {
  RefConfig cfg;
  const int k = st.sample_int_range(1, static_cast<int32_t>(s[0]) + 1);
  double total = 0.0;
  for (int i = 0; i < k; ++i) {
    cfg.w.push_back(sample_gamma(st, s[3], 1.0));
    total = total + cfg.w.back();
  }
  for (double& w : cfg.w) w = w / total;
  const auto period = static_cast<std::size_t>(s[2]);
  for (int c = 0; c < k; ++c) {
    const int p = st.sample_int_range(1, static_cast<int32_t>(s[1]) + 1);
    std::vector<double> phi;
    for (int i = 1; i <= p; ++i) {
      const double r = st.sample_uniform(-0.9, 0.9);
      std::vector<double> next = phi;
      for (int j = 0; j <= i - 2; ++j) next[j] = phi[j] - r * phi[i - 2 - j];
      next.push_back(r);
      phi = next;
    }
    if (period >= 1 && sample_bernoulli(st, 0.5)) {
      const double big_r = st.sample_uniform(-0.9, 0.9);
      std::vector<double> a(phi.size() + 1);
      a[0] = 1.0;
      for (std::size_t i = 0; i < phi.size(); ++i) a[i + 1] = -phi[i];
      std::vector<double> cpoly(phi.size() + period + 1, 0.0);
      for (std::size_t i = 0; i < a.size(); ++i) {
        cpoly[i] = cpoly[i] + a[i];
        cpoly[i + period] = cpoly[i + period] + a[i] * -big_r;
      }
      phi.assign(phi.size() + period, 0.0);
      for (std::size_t j = 0; j < phi.size(); ++j) phi[j] = -cpoly[j + 1];
    }
    cfg.phi.push_back(phi);
  }
  for (int c = 0; c < k; ++c) cfg.mu.push_back(s[4] * st.standard_normal());
  if (std::log(s[5]) != std::log(s[6])) {
    for (int c = 0; c < k; ++c) {
      cfg.sigma.push_back(std::exp(st.sample_uniform(std::log(s[5]), std::log(s[6]))));
    }
  } else {
    cfg.sigma.assign(static_cast<std::size_t>(k), s[5]);
  }
  return cfg;
}

void ref_simulate(std::vector<double>& out, const RefConfig& cfg, std::size_t burn_in,
                  const InnovationSpec& innov, RandomStream& st) {
  std::size_t l = 0;
  for (const auto& phi : cfg.phi) l = std::max(l, phi.size());
  const std::size_t n = out.size(), w = burn_in + l, total = n + w;
  std::vector<double> x(total, 0.0);
  for (std::size_t i = 0; i < l; ++i) x[i] = st.standard_normal();
  for (std::size_t t = l; t < total; ++t) {
    const double u = st.uniform01();
    std::size_t k = cfg.w.size() - 1;
    double cum = 0.0;
    for (std::size_t c = 0; c < cfg.w.size(); ++c) {
      cum = cum + cfg.w[c];
      if (cum > u) {
        k = c;
        break;
      }
    }
    const std::vector<double>& phi = cfg.phi[k];
    double acc = phi[0] * x[t - 1];
    for (std::size_t j = 1; j < phi.size(); ++j) acc = acc + phi[j] * x[t - 1 - j];
    x[t] = (acc + cfg.mu[k]) + draw_innovation(st, innov, cfg.sigma[k]);
  }
  std::copy(x.begin() + static_cast<std::ptrdiff_t>(w), x.end(), out.begin());
}

// Random mode (or fixed mode with `fixed`), literally.
std::vector<double> ref_mar(const std::vector<double>& s, std::size_t n, uint64_t seed,
                            const RefConfig* fixed = nullptr) {
  RandomStream st(seed);
  std::vector<double> out(n);
  const InnovationSpec innov{static_cast<int32_t>(s[10]), s[11]};
  for (int attempt = 0; attempt < 8; ++attempt) {
    const RefConfig cfg = fixed ? *fixed : ref_draw_config(s, st);
    ref_simulate(out, cfg, static_cast<std::size_t>(s[7]), innov, st);
    double m = 0.0, sd = 1.0;
    if (n >= 2) {
      double sum = 0.0;
      for (double v : out) sum = sum + v;
      m = sum / static_cast<double>(n);
      double sq = 0.0;
      for (double v : out) sq = sq + (v - m) * (v - m);
      sd = std::sqrt(sq / static_cast<double>(n));
    }
    bool good = true;
    for (double v : out) good = good && std::isfinite(v) && std::fabs(v) < 1e8;
    if (n >= 2 && !(sd > 1e-8)) good = false;
    if (!good) continue;
    if (n >= 2 && s[8] != 0.0) {
      for (double& v : out) v = (v - m) / sd;
    }
    return out;
  }
  if (fixed) return {};
  for (double& v : out) v = st.standard_normal();
  return out;
}

std::vector<double> run_mar(const std::vector<double>& s, std::size_t n, uint64_t seed,
                            const std::vector<std::vector<double>>& arrays = {}) {
  std::vector<double> out(n, -7.0);
  const Status status = generate_mar(out, s, arrays, seed);
  if (status) testing::report(__FILE__, __LINE__, "unexpected refusal: " + status->message);
  return out;
}

}  // namespace

TEST_CASE("draw_int_inclusive matches sample_int_range and covers the top of the range") {
  const int32_t bounds[][2] = {{1, 1}, {1, 7}, {-5, 3}, {0, kMax - 1}, {kMin, 5}, {3, 1000000}};
  for (const auto& b : bounds) {
    RandomStream a(11), r(11);
    for (int i = 0; i < 50; ++i) {
      CHECK_EQ(composite::draw_int_inclusive(a, b[0], b[1]), r.sample_int_range(b[0], b[1] + 1));
    }
    CHECK_EQ(a.next_u64(), r.next_u64());
  }
  // A span of exactly 2^31 never rejects: the word's top 31 bits.
  RandomStream a(5), r(5);
  for (int i = 0; i < 50; ++i) {
    CHECK_EQ(composite::draw_int_inclusive(a, 0, kMax), static_cast<int32_t>(r.next_u32() >> 1));
  }
  // The full 32-bit span takes one word as it is.
  for (int i = 0; i < 50; ++i) {
    CHECK_EQ(composite::draw_int_inclusive(a, kMin, kMax),
             static_cast<int32_t>(static_cast<int64_t>(kMin) + r.next_u32()));
  }
  for (int i = 0; i < 200; ++i) {
    const int32_t v = composite::draw_int_inclusive(a, 1, kMax);
    CHECK(v >= 1);
  }
}

TEST_CASE("MAR random mode equals the step-by-step rules") {
  // K_max, p_max, P, concentration, spread, sigma_min, sigma_max, burn-in,
  // standardise, fixed, innov_dist, innov_param
  const std::vector<std::vector<double>> configs = {
      {3, 4, 0, 1.0, 0.5, 0.1, 1.0, 50, 0, 0, 0, 0.0},
      {4, 3, 12, 0.7, 1.0, 0.2, 2.0, 5000, 1, 0, 1, 5.0},  // burn-in beyond the window
      {2, 5, 3, 2.0, 0.0, 0.5, 0.5, 9000, 0, 0, 2, 0.0},   // factor overlaps the AR part
      {3, 2, 1, 1.5, 0.3, 0.1, 0.3, 0, 1, 0, 3, 0.0},
      {5, 3, 7, 0.3, 0.2, 0.1, 1.0, 4100, 0, 0, 4, 2.0},
      {1, 1, 0, 1.0, 0.0, 1e-3, 1e9, 10, 1, 0, 0, 0.0},  // exploding scales: fallback
  };
  for (const auto& s : configs) {
    for (std::size_t n : {0u, 1u, 2u, 100u, 4095u, 6000u}) {
      for (uint64_t seed : {1u, 99u, 12345u}) {
        const std::vector<double> want = ref_mar(s, n, seed);
        const std::vector<double> got = run_mar(s, n, seed);
        if (!same_bits(got, want)) {
          testing::report(__FILE__, __LINE__,
                          "mismatch for n=" + std::to_string(n) + " seed=" + std::to_string(seed) +
                              " burn-in=" + std::to_string(s[7]));
        }
      }
    }
  }
}

TEST_CASE("MAR fixed mode equals the step-by-step rules") {
  const std::vector<std::vector<double>> arrays = {
      {0.5, 0.2, 0.2}, {2, 1, 3}, {0.4, -0.3, 0.9, 0.1, 0.1, 0.1}, {0.0, 1.0, -2.0}, {1.0, 0.5, 2.0}};
  RefConfig cfg{{0.5, 0.2, 0.2}, {0.0, 1.0, -2.0}, {1.0, 0.5, 2.0},
                {{0.4, -0.3}, {0.9}, {0.1, 0.1, 0.1}}};
  std::vector<double> s = {1, 1, 0, 1, 0, 1, 1, 4500, 0, 1, 0, 0.0};
  for (std::size_t n : {1u, 300u, 5000u}) {
    CHECK(same_bits(run_mar(s, n, 3, arrays), ref_mar(s, n, 3, &cfg)));
  }
  // The first value of an AR(1) without burn-in: 0.5 times the warm-up value,
  // then (after the component's uniform) one innovation.
  std::vector<double> out(1);
  s[7] = 0;
  CHECK(!generate_mar(out, s, Arrays{{1.0}, {1.0}, {0.5}, {0.0}, {1.0}}, 21));
  RandomStream st(21);
  const double warm = st.standard_normal();
  (void)st.uniform01();
  const double e = st.standard_normal() + 0.0;
  CHECK_EQ(out[0], (0.5 * warm + 0.0) + e);
}

TEST_CASE("MAR draw_mar_config spends nothing on equal scale bounds") {
  std::vector<double> s = {3, 2, 0, 1.0, 0.5, 0.25, 0.25, 0, 0, 0, 0, 0.0};
  RandomStream a(8), r(8);
  MarWorkspace ws;
  draw_mar_config(s, a, ws);
  const RefConfig ref = ref_draw_config(s, r);
  CHECK(same_bits(ws.config.sigmas, std::vector<double>(ref.w.size(), 0.25)));
  CHECK_EQ(a.next_u64(), r.next_u64());
}

TEST_CASE("MAR seasonal factor multiplies the polynomials") {
  // p = 1 with phi = r, P = 3: (1 - r B)(1 - R B^3) = 1 - r B - R B^3 + r R B^4.
  std::vector<double> s = {1, 1, 3, 1.0, 0.0, 1.0, 1.0, 0, 0, 0, 0, 0.0};
  for (uint64_t seed = 0; seed < 40; ++seed) {
    RandomStream st(seed), ref(seed);
    MarWorkspace ws;
    draw_mar_config(s, st, ws);
    (void)ref.sample_int_range(1, 2);
    (void)sample_gamma(ref, 1.0, 1.0);
    (void)ref.sample_int_range(1, 2);
    const double r = ref.sample_uniform(-0.9, 0.9);
    const std::vector<double>& phi = ws.config.components[0];
    if (!sample_bernoulli(ref, 0.5)) {
      CHECK_EQ(phi.size(), std::size_t{1});
      continue;
    }
    const double big_r = ref.sample_uniform(-0.9, 0.9);
    CHECK_EQ(phi.size(), std::size_t{4});
    CHECK_EQ(phi[0], r);
    CHECK_EQ(phi[1], 0.0);
    CHECK_EQ(phi[2], big_r);
    CHECK_EQ(phi[3], -((-r) * -big_r));
    CHECK_EQ(ws.config.zero_begin[0], std::size_t{1});
    CHECK_EQ(ws.config.zero_end[0], std::size_t{2});
  }
}

TEST_CASE("MAR refusals come back as values, in the documented order") {
  std::vector<double> out(10);
  std::vector<double> s = {1, 1, 0, 1, 0, 1, 1, 0, 0, 1, 0, 0.0};
  CHECK(refusal(generate_mar(out, std::vector<double>(11, 1.0), Arrays{}, 1)) ==
        "mar: expected >= 12 scalar params, got 11");
  CHECK(refusal(generate_mar(out, s, Arrays{{1.0}, {1.0}, {0.5}, {0.0}}, 1)) ==
        "mar: expected >= 5 array params in fixed mode, got 4");
  s[0] = 0;  // the range check comes before the array count
  CHECK(refusal(generate_mar(out, s, Arrays{}, 1)) == "mar: invalid configuration");
  s[0] = std::nan("");
  CHECK(refusal(generate_mar(out, s, Arrays{}, 1)) == "mar: scalar params must be finite");
}

// ------------------------------------------------------------- TCM

TEST_CASE("spectral radius of small companion matrices") {
  std::vector<double> x, y;
  CHECK_NEAR(estimate_spectral_radius(std::vector<double>{0.7}, 1, 1, x, y), 0.7, 1e-12);
  CHECK_NEAR(estimate_spectral_radius(std::vector<double>{-1.3}, 1, 1, x, y), 1.3, 1e-12);
  // AR(2) 0.5, 0.3: the larger root of z^2 - 0.5 z - 0.3.
  CHECK_NEAR(estimate_spectral_radius(std::vector<double>{0.5, 0.3}, 1, 2, x, y),
             (0.5 + std::sqrt(0.25 + 1.2)) / 2.0, 1e-12);
  // Columns: entry (s * E + j) is A[j][s].  A = [[0, 0.5], [0.5, 0]].
  CHECK_NEAR(estimate_spectral_radius(std::vector<double>{0.0, 0.5, 0.5, 0.0}, 2, 1, x, y), 0.5,
             1e-12);
  // Upper triangular [[0.9, 5], [0, 0.2]]: the radius is the diagonal's largest.
  CHECK_NEAR(estimate_spectral_radius(std::vector<double>{0.9, 0.0, 5.0, 0.2}, 2, 1, x, y), 0.9,
             1e-9);
  CHECK_EQ(estimate_spectral_radius(std::vector<double>(8, 0.0), 2, 2, x, y), 0.0);
}

namespace {

// One variable, one lag, literally: slots chosen so that p, the magnitude
// and sigma are taken without draws.
std::vector<double> ref_tcm_single(const std::vector<double>& s, const std::vector<double>& kinds,
                                   int32_t noise_code, std::size_t n, uint64_t seed) {
  RandomStream st(seed);
  std::vector<double> out(n);
  const std::size_t burn = std::min<std::size_t>(n, 200), total = burn + 1 + n;
  for (int attempt = 0; attempt < 6; ++attempt) {
    (void)st.sample_uniform(0.4, 1.0);  // decay, unused at lag 1
    std::vector<double> w;
    double sum = 0.0;
    for (std::size_t i = 0; i < kinds.size(); ++i) {
      w.push_back(st.standard_exponential());
      sum = sum + w.back();
    }
    bool linear_pool = false;
    for (double k : kinds) linear_pool = linear_pool || static_cast<int32_t>(k) == 0;
    const double u_k = st.uniform01();
    std::size_t pick = kinds.size() - 1;
    double cum = 0.0;
    for (std::size_t i = 0; i < kinds.size(); ++i) {
      cum = cum + w[i] / sum;
      if (cum > u_k) {
        pick = i;
        break;
      }
    }
    int32_t kind = static_cast<int32_t>(kinds[pick]);
    const bool negative = st.uniform01() < 0.5;
    const double c = std::exp(st.unit_mantissa() * 2.0794415416798357 - 0.6931471805599453);
    const double z = st.standard_normal();
    (void)st.sample_int_range(0, 1);
    (void)st.sample_int_range(0, 1);
    double coef = 1.0 * (negative ? -s[6] : s[6]);
    if (linear_pool) {
      kind = 0;
      coef = 1.0;
    }
    const double theta = st.sample_uniform(3.0, 10.0);
    const bool modulated = s[12] > st.uniform01();
    const double period = st.sample_uniform(50.0, 500.0);
    const double amplitude = st.sample_uniform(0.3, 1.0);
    const double phase = st.sample_uniform(0.0, 6.283185307179586);
    const double factor =
        st.uniform01() < 0.22 ? st.sample_uniform(0.95, 1.0) : st.sample_uniform(0.1, 0.6);
    const double target = factor * s[8];
    const bool linear = kind >= 0 && kind <= 2;
    std::vector<double> px, py;  // a 1 x 1 companion matrix
    const double rho = estimate_spectral_radius(std::vector<double>{linear ? coef : 0.0}, 1, 1,
                                                px, py);
    if (linear && rho > target) {
      coef = coef * (target / rho);
    } else if (linear && rho > 1e-9) {
      coef = coef * std::min(target / rho, 4.0);
      const double rho2 = estimate_spectral_radius(std::vector<double>{coef}, 1, 1, px, py);
      if (rho2 >= s[8]) coef = coef * (target / rho2);
    }
    std::vector<double> noise(total);
    fill_innovations(st, InnovationSpec{noise_code, theta}, s[10], noise);
    if (modulated) {
      for (std::size_t t = 0; t < total; ++t) {
        noise[t] = noise[t] * std::exp(std::sin(6.283185307179586 * static_cast<double>(t) / period +
                                                phase) * amplitude);
      }
    }
    std::vector<double> x(total);
    x[0] = noise[0];
    for (std::size_t t = 1; t < total; ++t) {
      const double in = x[t - 1];
      double g = 0.0;
      if (kind == 0) g = in;
      if (kind == 1) g = c * std::tanh(in / c);
      if (kind == 2) g = std::max(in, 0.0);
      if (kind == 3) g = (c * std::tanh(in / c)) * std::tanh(in / c);
      if (kind == 4) g = z < in ? 1.0 : 0.0;
      const double acc = noise[t] + coef * g;
      x[t] = s[9] * std::tanh(acc / s[9]);
    }
    std::copy(x.begin() + static_cast<std::ptrdiff_t>(burn + 1), x.end(), out.begin());
    bool good = true;
    for (double v : out) good = good && std::isfinite(v) && std::fabs(v) < 1e8;
    if (good && composite::population_moments(out).sd > 1e-8) return out;
  }
  double v = st.standard_normal();
  if (n != 1) {
    for (std::size_t i = 1; i < burn; ++i) v = 0.7 * v + st.standard_normal();
  }
  for (double& o : out) {
    v = 0.7 * v + st.standard_normal();
    o = v;
  }
  return out;
}

}  // namespace

TEST_CASE("TCM with one self-linked variable follows the clipped recursion") {
  // s4 >= s5, s6 >= s7 and s10 >= s11 take their lower bounds without draws.
  std::vector<double> s = {1, 1, 1, 1, 0.5, 0.5, 0.7, 0.7, 1.0, 5.0, 1.0, 1.0, 0.0};
  const std::vector<std::vector<double>> pools = {{0}, {7}, {1}, {2}, {3}, {4}, {1, 0, 3}, {2, 4}};
  for (const auto& kinds : pools) {
    for (double modulation : {0.0, 1.0}) {
      s[12] = modulation;
      for (std::size_t n : {1u, 2u, 150u, 400u}) {
        for (uint64_t seed : {4u, 40u}) {
          std::vector<double> got(n);
          generate_tcm(got, s, Arrays{kinds, {1.0}}, seed);
          if (!same_bits(got, ref_tcm_single(s, kinds, 1, n, seed))) {
            testing::report(__FILE__, __LINE__,
                            "mismatch: kind " + std::to_string(kinds[0]) + " n " +
                                std::to_string(n));
          }
        }
      }
    }
  }
  // A clip bound of 0 fails every attempt; the fallback is still the rule's.
  s[9] = 0.0;
  std::vector<double> got(300);
  generate_tcm(got, s, Arrays{{0}, {0}}, 9);
  CHECK(same_bits(got, ref_tcm_single(s, {0}, 0, 300, 9)));
}

TEST_CASE("TCM pool checks run only when there is something to generate") {
  std::vector<double> s(13, 1.0);
  std::vector<double> empty_out;
  generate_tcm(empty_out, s, Arrays{{}, {}}, 1);  // no throw
  std::vector<double> out(3);
  CHECK_FAILS_WITH(generate_tcm(out, s, Arrays{{}, {0}}, 1), "tcm: edge kind pool is empty");
  CHECK_FAILS_WITH(generate_tcm(out, s, Arrays{{0}, {}}, 1), "tcm: noise type pool is empty");
}

// ------------------------------------------------------------- TSI

TEST_CASE("knot interpolation walks forward like a fresh search") {
  RandomStream st(3);
  for (int round = 0; round < 20; ++round) {
    const std::size_t c = 1 + static_cast<std::size_t>(st.sample_int_range(0, 6));
    std::vector<double> pos = {0.0}, val;
    for (std::size_t j = 0; j < c; ++j) pos.push_back(0.1 + 0.8 * st.unit_mantissa());
    std::sort(pos.begin() + 1, pos.end());
    if (round % 4 == 0) pos[2 % pos.size()] = pos[1];  // repeated knots
    pos.push_back(1.0);
    for (std::size_t j = 0; j < pos.size(); ++j) val.push_back(st.sample_uniform(-3.0, 3.0));
    std::size_t walk = 1;
    for (int i = 0; i < 200; ++i) {
      const double x = static_cast<double>(i) / 199.0;
      std::size_t fresh = 1;
      const double a = interpolate_knots(pos, val, x, walk);
      const double b = interpolate_knots(pos, val, x, fresh);
      CHECK_EQ(a, b);
      CHECK(a >= -3.0 && a <= 3.0);
    }
  }
  const std::vector<double> pos = {0.0, 0.5, 1.0}, val = {1.0, 3.0, -1.0};
  std::size_t k = 1;
  CHECK_EQ(interpolate_knots(pos, val, 0.25, k), 2.0);
  CHECK_EQ(interpolate_knots(pos, val, 0.5, k), 3.0);
  CHECK_EQ(interpolate_knots(pos, val, 0.75, k), 1.0);
}

TEST_CASE("TSI pool checks, in order, only for a non-empty series") {
  std::vector<double> s(23, 1.0), empty_out, out(4);
  generate_tsi(empty_out, s, Arrays{{}, {}, {}}, 1);
  CHECK_FAILS_WITH(generate_tsi(out, s, Arrays{{}, {}, {}}, 1), "tsi: trend type pool is empty");
  CHECK_FAILS_WITH(generate_tsi(out, s, Arrays{{1}, {}, {}}, 1), "tsi: seasonal period pool is empty");
  CHECK_FAILS_WITH(generate_tsi(out, s, Arrays{{1}, {2}, {}}, 1), "tsi: irregular type pool is empty");
}

TEST_CASE("TSI GARCH keeps alpha + beta at 0.98 when the draws exceed it") {
  // Flat level, no seasonality, noise ratio 1: sigma = 1 and the series is
  // level + GARCH noise.  Re-draw the same words to check the recursion.
  std::vector<double> s = {0, 0, 1, 1, 1, 1, 2.0, 2.0, 0, 0, 1, 1, 0, 0, 1.0, 1.0,
                           0.5, 0.5, 5, 5, 0, 1.0, 1.0};
  for (uint64_t seed = 0; seed < 30; ++seed) {
    std::vector<double> got(64);
    generate_tsi(got, s, Arrays{{9}, {12}, {2}}, seed);
    RandomStream st(seed);
    double alpha = st.sample_uniform(0.05, 0.25), beta = st.sample_uniform(0.5, 0.9);
    if (alpha + beta > 0.98) {
      const double f = 0.98 / (alpha + beta);
      alpha = alpha * f;
      beta = beta * f;
      CHECK_NEAR(alpha + beta, 0.98, 1e-15);
    }
    const double omega = (1.0 - alpha - beta) * 1.0;
    double h = 1.0;
    std::vector<double> want(64);
    for (double& v : want) {
      const double e = st.standard_normal() * std::sqrt(h);
      h = beta * h + (alpha * (e * e) + omega);
      v = (2.0 + e) * 1.0;
    }
    CHECK(same_bits(got, want));
  }
}

TEST_CASE("MAR results do not depend on what a reused workspace held") {
  const std::vector<double> random_mode = {4, 3, 12, 0.7, 1.0, 0.2, 2.0, 5000, 1, 0, 0, 0.0};
  const std::vector<double> fixed_mode = {1, 1, 0, 1, 0, 1, 1, 20, 0, 1, 2, 0.0};
  const Arrays fixed_arrays = {{0.5, 0.5}, {3, 1}, {0.2, 0.1, 0.1, 0.5}, {0.0, 1.0}, {1.0, 2.0}};
  MarWorkspace shared;
  for (uint64_t seed = 0; seed < 12; ++seed) {
    const bool fixed = seed % 3 == 1;
    const std::vector<double>& s = fixed ? fixed_mode : random_mode;
    const Arrays& arrays = fixed ? fixed_arrays : Arrays{};
    const std::size_t n = 50 + 97 * seed;
    std::vector<double> reused(n), fresh(n);
    CHECK(!generate_mar(reused, s, arrays, seed, shared));
    CHECK(!generate_mar(fresh, s, arrays, seed));
    CHECK(same_bits(reused, fresh));
  }
}
