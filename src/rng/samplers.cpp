#include "rng/samplers.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#include "core/integer_cast.hpp"
#include "core/internal_failure.hpp"

namespace tidemark {
namespace {

constexpr double kOneThirdNegated = -0.3333333333333333;
constexpr double kMaxPoissonLambda = 1.844e19;
constexpr double kInvSqrt2Pi = 0.3989422804014327;
constexpr double kTwoPow64 = 0x1.0p64;

void require_finite_std(double std, const char* message) {
  if (!std::isfinite(std)) internal_failure(message);
}

// Knuth's multiplication method: multiply uniforms until the product drops
// to exp(-lambda).  Shared by the Poisson sampler and the binomial's
// small-probability fallback.
int32_t poisson_by_multiplication(RandomStream& s, double exp_neg_lambda) {
  int32_t count = 0;
  double prod = s.uniform01();
  while (prod > exp_neg_lambda) {
    prod = prod * s.uniform01();
    ++count;
  }
  return count;
}

// ---- geometric -------------------------------------------------------------

uint64_t geometric_by_search(RandomStream& s, double p) {
  uint64_t count = 0;
  while (s.uniform01() > p) ++count;
  return count;
}

double reject_probability(double q, uint64_t m) {
  if (m <= static_cast<uint64_t>(std::numeric_limits<int32_t>::max())) {
    return integer_power(q, static_cast<int32_t>(m));
  }
  return std::pow(q, static_cast<double>(m));
}

// Bringmann-Friedrich: the count splits into d blocks of 2^k failures (a
// geometric with success probability 1 - q^(2^k) <= 1/2) plus a remainder
// below 2^k drawn by rejection with acceptance q^m.
uint64_t geometric_by_blocks(RandomStream& s, double q) {
  int k = 1;
  double block_failure = q * q;
  while (block_failure > 0.5) {
    ++k;
    block_failure = block_failure * block_failure;
  }
  uint64_t d = 0;
  while (s.uniform01() < block_failure) ++d;
  const uint64_t mask = (uint64_t{1} << k) - 1;
  for (;;) {
    const uint64_t m = s.next_u64() & mask;
    const double r = reject_probability(q, m);
    if (s.uniform01() < r) return (d << k) + m;
  }
}

// ---- binomial --------------------------------------------------------------

// Inversion from zero, restarting with a fresh uniform once the walk passes
// 110 (the mass beyond is negligible for n * q < 10).
int32_t binomial_by_inversion(RandomStream& s, int32_t n, double q) {
  const double sr = q / (1.0 - q);
  const double a = (static_cast<double>(n) + 1.0) * sr;
  const double r0 = integer_power(1.0 - q, n);
  for (;;) {
    double u = s.uniform01();
    int32_t x = 0;
    double r = r0;
    bool restart = false;
    while (u > r) {
      u = u - r;
      ++x;
      if (x > 110) {
        restart = true;
        break;
      }
      r = r * (a / x - sr);
    }
    if (!restart) return x;
  }
}

// Constants of BTPE (Kachitvichyanukul and Schmeiser 1988) for q <= 1/2.
struct Btpe {
  double n, r, q, nrq;
  double m, p1, xm, xl, xr, c;
  double lambda_l, lambda_r, p2, p3, p4;
  double width;   // hoisted sample_uniform(0, p4) width
  double ratio;   // r / q, for the recursive pmf ratio
  double a;       // ratio * (n + 1)
};

Btpe btpe_setup(int32_t n, double r) {
  Btpe b{};
  b.n = static_cast<double>(n);
  b.r = r;
  b.q = 1.0 - r;
  const double nr = b.n * r;
  b.nrq = nr * b.q;
  const double fm = nr + r;
  b.m = std::floor(fm);
  b.p1 = std::floor(2.195 * std::sqrt(b.nrq) - 4.6 * b.q) + 0.5;
  b.xm = b.m + 0.5;
  b.xl = b.xm - b.p1;
  b.xr = b.xm + b.p1;
  b.c = 0.134 + 20.5 / (15.3 + b.m);
  double al = (fm - b.xl) / (fm - b.xl * r);
  b.lambda_l = al * (1.0 + al / 2.0);
  double ar = (b.xr - fm) / (b.xr * b.q);
  b.lambda_r = ar * (1.0 + ar / 2.0);
  b.p2 = b.p1 * (1.0 + 2.0 * b.c);
  b.p3 = b.p2 + b.c / b.lambda_l;
  b.p4 = b.p3 + b.c / b.lambda_r;
  b.width = RandomStream::uniform_width(0.0, b.p4);
  b.ratio = r / b.q;
  b.a = b.ratio * (b.n + 1.0);
  return b;
}

// Step 5.1: f(y) / f(m) by the recurrence f(x) = f(x - 1) (a / x - s).
double btpe_pmf_ratio(const Btpe& b, double y) {
  double f = 1.0;
  if (b.m < y) {
    for (double i = b.m + 1.0; i <= y; i += 1.0) f = f * (b.a / i - b.ratio);
  } else if (b.m > y) {
    for (double i = y + 1.0; i <= b.m; i += 1.0) f = f / (b.a / i - b.ratio);
  }
  return f;
}

double stirling_term(double x, double x2) {
  return (13860.0 - (462.0 - (132.0 - (99.0 - 140.0 / x2) / x2) / x2) / x2) / x / 166320.0;
}

// Step 5.3: the Stirling-formula bound on ln(f(y) / f(m)), as published.
double btpe_log_bound(const Btpe& b, double y) {
  const double x1 = y + 1.0, f1 = b.m + 1.0;
  const double z = b.n + 1.0 - b.m, w = b.n - y + 1.0;
  return b.xm * std::log(f1 / x1) + (b.n - b.m + 0.5) * std::log(z / w) +
         (y - b.m) * std::log(w * b.r / (x1 * b.q)) + stirling_term(f1, f1 * f1) +
         stirling_term(z, z * z) + stirling_term(x1, x1 * x1) + stirling_term(w, w * w);
}

// Step 5: accept y with height v under the hat.  Far from the mode the
// squeeze settles most cases without evaluating the pmf.
bool btpe_accepts(const Btpe& b, double y, double v) {
  const double k = std::fabs(y - b.m);
  if (!(k > 20.0 && k < b.nrq / 2.0 - 1.0)) return !(v > btpe_pmf_ratio(b, y));
  const double rho = (k / b.nrq) * ((k * (k / 3.0 + 0.625) + 1.0 / 6.0) / b.nrq + 0.5);
  const double t = -k * k / (2.0 * b.nrq);
  const double log_v = std::log(v);
  if (log_v < t - rho) return true;
  if (log_v > t + rho) return false;
  return !(log_v > btpe_log_bound(b, y));
}

double btpe_draw(RandomStream& s, const Btpe& b) {
  for (;;) {
    const double u = RandomStream::clamp_below(s.unit_mantissa() * b.width + 0.0, b.p4);
    double v = s.uniform01();
    double y;
    if (u <= b.p1) return std::floor(b.xm - b.p1 * v + u);
    if (u <= b.p2) {  // parallelogram
      const double x = b.xl + (u - b.p1) / b.c;
      v = v * b.c + 1.0 - std::fabs(b.m - x + 0.5) / b.p1;
      if (v > 1.0) continue;
      y = std::floor(x);
    } else if (u <= b.p3) {  // left exponential tail
      y = std::floor(b.xl + std::log(v) / b.lambda_l);
      if (y < 0.0) continue;
      v = v * (u - b.p2) * b.lambda_l;
    } else {  // right exponential tail
      y = std::floor(b.xr - std::log(v) / b.lambda_r);
      if (y > b.n) continue;
      v = v * (u - b.p3) * b.lambda_r;
    }
    if (btpe_accepts(b, y, v)) return y;
  }
}

// ---- Poisson PD helpers ----------------------------------------------------

constexpr std::array<double, 10> kFactorials = {1.0,   1.0,    2.0,     6.0,     24.0,
                                                120.0, 720.0, 5040.0, 40320.0, 362880.0};

// ln(1 + v) - v, divided by v^2, as the PD series (for |v| <= 1/4).
double pd_log_series(double v) {
  constexpr std::array<double, 10> kCoefficients = {
      0.1055093006,  -0.1142650302, 0.1101687109, -0.1241963125, 0.1428833286,
      -0.1666848753, 0.1999997049,  -0.2499998565, 0.3333333343, -0.5000000002};
  double acc = kCoefficients[0];
  for (std::size_t i = 1; i < kCoefficients.size(); ++i) acc = acc * v + kCoefficients[i];
  return acc;
}

}  // namespace

// ---- continuous samplers ---------------------------------------------------

double sample_normal(RandomStream& s, double mean, double std) {
  require_finite_std(std, "invalid normal params: std must be finite and >= 0");
  const double z = s.standard_normal();
  return z * std + mean;
}

double sample_lognormal(RandomStream& s, double mu, double sigma) {
  require_finite_std(sigma, "invalid lognormal params: std must be finite and >= 0");
  const double z = s.standard_normal();
  return std::exp(z * sigma + mu);
}

double sample_exponential(RandomStream& s, double lambda) {
  if (std::isnan(lambda) || std::signbit(lambda)) {
    internal_failure("invalid exponential param: lambda must be > 0 and finite");
  }
  return s.standard_exponential() * (1.0 / lambda);
}

// ---- discrete samplers -----------------------------------------------------

bool sample_bernoulli(RandomStream& s, double p) {
  if (!(p >= 0.0 && p <= 1.0)) internal_failure("invalid bernoulli param: p must be in [0, 1]");
  if (p == 1.0) return true;
  const double scaled = p * kTwoPow64;
  const uint64_t threshold = scaled >= kTwoPow64 ? std::numeric_limits<uint64_t>::max()
                                                 : static_cast<uint64_t>(scaled);
  if (threshold == std::numeric_limits<uint64_t>::max()) return true;
  return s.next_u64() < threshold;
}

uint64_t sample_geometric(RandomStream& s, double p) {
  if (!(p > 0.0 && p <= 1.0)) internal_failure("invalid geometric param: p must be in (0, 1]");
  if (p >= 2.0 / 3.0) return geometric_by_search(s, p);
  const double q = 1.0 - p;
  // p below 2^-54 rounds q to 1: the count is beyond every 64-bit value.
  if (q == 1.0) return std::numeric_limits<uint64_t>::max();
  return geometric_by_blocks(s, q);
}

double sample_gamma(RandomStream& s, double shape, double scale) {
  return GammaSampler(shape, scale)(s);
}

int32_t sample_poisson(RandomStream& s, double lambda) { return PoissonSampler(lambda)(s); }

int32_t sample_binomial(RandomStream& s, int32_t n, double p) {
  if (n <= 0) return 0;
  if (std::isnan(p)) internal_failure("invalid binomial params: n >= 0 and p in [0, 1]");
  if (p <= 0.0) return 0;
  if (p >= 1.0) return n;
  const bool flipped = p > 0.5;
  const double q = flipped ? 1.0 - p : p;
  const double np = static_cast<double>(n) * q;
  if (np < 10.0) {
    if (1.0 - q == 1.0) {
      // q <= 2^-54 is never the flipped side.  The cap only matters for
      // counts with probability far below 2^-100, but keeps the result a
      // binomial count.
      return std::min(poisson_by_multiplication(s, std::exp(-np)), n);
    }
    const int32_t x = binomial_by_inversion(s, n, q);
    return flipped ? n - x : x;
  }
  const int32_t x = static_cast<int32_t>(btpe_draw(s, btpe_setup(n, q)));
  return flipped ? n - x : x;
}

int32_t sample_negative_binomial(RandomStream& s, double r, double p) {
  const double scale = (1.0 - p) / p;
  if (!(scale > 0.0)) {
    internal_failure("invalid negative binomial params: r > 0 and p in (0, 1)");
  }
  const double lambda = sample_gamma(s, r, scale);
  if (lambda <= 0.0) return 0;
  if (!std::isfinite(lambda) || lambda > kMaxPoissonLambda) {
    internal_failure("negative binomial: gamma sample produced invalid lambda");
  }
  return PoissonSampler(lambda)(s);
}

// ---- GammaSampler ----------------------------------------------------------

GammaSampler::GammaSampler(double shape, double scale) : form_(Form::Exponential), scale_(scale) {
  if (!(shape > 0.0) || !(scale > 0.0)) {
    internal_failure("invalid gamma params: shape and scale must be > 0 and finite");
  }
  if (std::isinf(shape) || std::isinf(scale)) {
    mean_ = INFINITY;
    return;
  }
  if (shape == 1.0) {
    mean_ = 1.0 / (1.0 / scale);
    return;
  }
  if (shape < 1.0) {
    form_ = Form::SmallShape;
    d_ = (shape + 1.0) + kOneThirdNegated;
    inv_shape_ = 1.0 / shape;
  } else {
    form_ = Form::LargeShape;
    d_ = shape + kOneThirdNegated;
  }
  c_ = 1.0 / std::sqrt(9.0 * d_);
}

// The Marsaglia-Tsang loop; returns the accepted v = (1 + c z)^3.
double GammaSampler::cubed_deviate(RandomStream& s) const {
  for (;;) {
    const double z = s.standard_normal();
    double v = c_ * z + 1.0;
    if (v <= 0.0) continue;
    v = v * v * v;
    const double u = s.uniform_open01();
    if (u < (z * z * -0.0331) * (z * z) + 1.0) return v;
    if (std::log(u) < (std::log(v) + (1.0 - v)) * d_ + z * z * 0.5) return v;
  }
}

double GammaSampler::operator()(RandomStream& s) const {
  switch (form_) {
    case Form::Exponential:
      return s.standard_exponential() * mean_;
    case Form::LargeShape:
      return cubed_deviate(s) * (d_ * scale_);
    case Form::SmallShape: {
      // Gamma(shape) = Gamma(shape + 1) * U^(1/shape); U comes first.
      const double u0 = s.uniform_open01();
      const double v = cubed_deviate(s);
      return (d_ * (v * std::pow(u0, inv_shape_))) * scale_;
    }
  }
  return 0.0;
}

// ---- PoissonSampler --------------------------------------------------------

PoissonSampler::PoissonSampler(double lambda) : lambda_(lambda) {
  if (lambda <= 0.0) return;
  if (!std::isfinite(lambda)) internal_failure("invalid poisson param: lambda must be finite");
  if (lambda < 12.0) {
    method_ = Method::Multiplication;
    exp_neg_lambda_ = std::exp(-lambda);
    return;
  }
  if (lambda > kMaxPoissonLambda) internal_failure("invalid poisson param: lambda must be finite");
  method_ = Method::Pd;
  s_ = std::sqrt(lambda);
  d_ = 6.0 * (lambda * lambda);
  l_ = std::floor(lambda - 1.1484);
  c_ = 0.1069 / lambda;
  omega_ = kInvSqrt2Pi / s_;
  const double b1 = (1.0 / 24.0) / lambda;
  const double b2 = 0.3 * (b1 * b1);
  c3_ = (1.0 / 7.0) * b1 * b2;
  c2_ = b2 - 15.0 * c3_;
  c1_ = b1 - 6.0 * b2 + 45.0 * c3_;
  c0_ = 1.0 - b1 + 3.0 * b2 - 15.0 * c3_;
}

int32_t PoissonSampler::operator()(RandomStream& s) const {
  switch (method_) {
    case Method::Zero:
      return 0;
    case Method::Multiplication:
      return poisson_by_multiplication(s, exp_neg_lambda_);
    case Method::Pd:
      return saturating_i32(pd_draw(s));
  }
  return 0;
}

// PD's quotient terms at k: px, py give the log-density pieces of the
// Poisson pmf, fx, fy those of the normal approximation.
PoissonSampler::Quotient PoissonSampler::quotient(double k) const {
  Quotient q{};
  if (k < 10.0) {
    q.px = -lambda_;
    const auto small_k = static_cast<int32_t>(k);
    q.py = integer_power(lambda_, small_k) / kFactorials[static_cast<std::size_t>(small_k)];
  } else {
    double delta = 1.0 / (12.0 * k);
    delta = delta - 4.8 * (delta * delta * delta);
    const double v = (lambda_ - k) / k;
    if (std::fabs(v) <= 0.25) {
      q.px = k * (v * v) * pd_log_series(v);
    } else {
      q.px = k * std::log(1.0 + v) - (lambda_ - k);
    }
    q.px = q.px - delta;
    q.py = kInvSqrt2Pi / std::sqrt(k);
  }
  const double x = (k - lambda_ + 0.5) / s_;
  const double x2 = x * x;
  q.fx = -0.5 * x2;
  q.fy = omega_ * (((c3_ * x2 + c2_) * x2 + c1_) * x2 + c0_);
  return q;
}

// PD's normal step: true when k is accepted.
bool PoissonSampler::pd_normal_step(RandomStream& s, double& k) const {
  const double g = lambda_ + s_ * s.standard_normal();
  if (!(g >= 0.0)) return false;
  k = std::floor(g);
  if (k >= l_) return true;
  const double u = s.uniform01();
  const double gap = lambda_ - k;
  if (d_ * u >= gap * gap * gap) return true;
  const Quotient q = quotient(k);
  return q.fy * (1.0 - u) <= q.py * std::exp(q.px - q.fx);
}

double PoissonSampler::pd_draw(RandomStream& s) const {
  double k = 0.0;
  if (pd_normal_step(s, k)) return k;
  for (;;) {  // exponential step: double-exponential hat around the mode
    const double e = s.standard_exponential();
    const double u = 2.0 * s.uniform01() - 1.0;
    const double t = 1.8 + (u < 0.0 ? -e : e);
    if (!(t > -0.6744)) continue;
    k = std::floor(lambda_ + s_ * t);
    const Quotient q = quotient(k);
    if (c_ * std::fabs(u) <= q.py * std::exp(q.px + e) - q.fy * std::exp(q.fx + e)) return k;
  }
}

}  // namespace tidemark
