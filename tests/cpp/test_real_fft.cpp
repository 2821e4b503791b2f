// The planned real FFT against a naive DFT evaluated in long double with
// exactly reduced angles, at lengths that exercise every path: trivial,
// odd (transformed at full length) and even (packed into half the length),
// each through the mixed-radix stages or Bluestein's algorithm.
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdio>
#include <numbers>
#include <vector>

#include "fft/real_fft_plan.hpp"
#include "rng/random_stream.hpp"
#include "testing.hpp"

namespace {

using tidemark::RealFftPlan;

std::vector<double> noise(std::size_t n, uint64_t seed) {
  tidemark::RandomStream rs(seed);
  std::vector<double> x(n);
  for (double& v : x) v = rs.standard_normal() + 0.25;  // a non-zero mean exercises bin 0
  return x;
}

std::vector<std::complex<double>> transform(const RealFftPlan& plan, const std::vector<double>& x) {
  std::vector<std::complex<double>> out(plan.output_size()), scratch(plan.scratch_size());
  plan.forward(x.data(), out.data(), scratch.data());
  return out;
}

// Bins `bins` of the DFT of x; cos/sin tables over the exact index k*t mod n.
std::vector<std::complex<long double>> naive(const std::vector<double>& x,
                                             const std::vector<std::size_t>& bins) {
  const std::size_t n = x.size();
  std::vector<long double> c(n), s(n);
  const long double two_pi = 2.0L * std::numbers::pi_v<long double>;
  for (std::size_t j = 0; j < n; ++j) {
    const long double angle = two_pi * static_cast<long double>(j) / static_cast<long double>(n);
    c[j] = std::cos(angle);
    s[j] = std::sin(angle);
  }
  std::vector<std::complex<long double>> out;
  for (std::size_t k : bins) {
    long double re = 0, im = 0;
    for (std::size_t t = 0, idx = 0; t < n; ++t) {
      re += x[t] * c[idx];
      im -= x[t] * s[idx];
      idx += k;
      if (idx >= n) idx -= n;
    }
    out.emplace_back(re, im);
  }
  return out;
}

// Largest error at the given bins relative to sum |x|, the bound on every
// coefficient's magnitude.
double relative_error(std::size_t n, const std::vector<std::size_t>& bins, uint64_t seed) {
  const auto x = noise(n, seed);
  const RealFftPlan plan(n);
  const auto got = transform(plan, x);
  const auto want = naive(x, bins);
  double scale = 0;
  for (double v : x) scale += std::fabs(v);
  double worst = 0;
  for (std::size_t i = 0; i < bins.size(); ++i) {
    const std::complex<double> w(static_cast<double>(want[i].real()),
                                 static_cast<double>(want[i].imag()));
    worst = std::max(worst, std::abs(got[bins[i]] - w) / scale);
  }
  return worst;
}

std::vector<std::size_t> all_bins(std::size_t n) {
  std::vector<std::size_t> bins(n / 2 + 1);
  for (std::size_t k = 0; k < bins.size(); ++k) bins[k] = k;
  return bins;
}

TEST_CASE("real fft matches a naive DFT at every bin of awkward lengths") {
  // Radices 2, 3, 4, 5, generic small primes (7 ... 31), Bluestein for
  // larger prime factors (37, 61, 97, 499, 1009, 4097 = 17 * 241).
  for (std::size_t n : {1u, 2u, 3u, 4u, 5u, 6u, 7u, 8u, 9u, 10u, 12u, 15u, 16u, 17u, 26u, 30u,
                        31u, 37u, 62u, 64u, 74u, 97u, 100u, 127u, 128u, 183u, 250u, 500u, 899u,
                        998u, 1000u, 1009u, 1024u, 2310u, 4097u}) {
    const double err = relative_error(n, all_bins(n), 1000 + n);
    if (!(err < 1e-14)) {
      char text[96];
      std::snprintf(text, sizeof text, "n=%zu relative error %.3g", n, err);
      testing::report(__FILE__, __LINE__, text);
    }
  }
}

TEST_CASE("real fft of a large prime length matches a naive DFT at sampled bins") {
  const std::size_t n = 1000003;  // odd prime: Bluestein over 2^21 points
  const std::vector<std::size_t> bins{0, 1, 2, 3, 17, 4096, 65537, 333334, 499999, 500000, 500001};
  CHECK(relative_error(n, bins, 7) < 1e-13);
  const std::size_t even = 2 * 500009;  // even with a prime half
  CHECK(relative_error(even, {0, 1, 500008, 500009, 250000}, 8) < 1e-13);
}

TEST_CASE("real fft plan: sizes, trivial lengths and repeat transforms are exact") {
  const RealFftPlan empty(0);
  CHECK_EQ(empty.output_size(), std::size_t{1});
  const RealFftPlan one(1);
  const double x1 = 3.5;
  std::complex<double> out1;
  one.forward(&x1, &out1, nullptr);
  CHECK(out1 == std::complex<double>(3.5, 0.0));

  // Same plan, same input: same bits, whatever the scratch held before.
  const RealFftPlan plan(1000);
  const auto x = noise(1000, 3);
  std::vector<std::complex<double>> a(plan.output_size()), b(plan.output_size());
  std::vector<std::complex<double>> scratch(plan.scratch_size(), {1e300, -1e300});
  plan.forward(x.data(), a.data(), scratch.data());
  plan.forward(x.data(), b.data(), scratch.data());
  CHECK(a == b);
}

}  // namespace
