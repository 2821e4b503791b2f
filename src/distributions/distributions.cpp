#include "distributions/distributions.hpp"

#include <algorithm>
#include <cstddef>

namespace tidemark {

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kEps = 1e-14;   // convergence test of the iterations
constexpr double kTiny = 1e-14;  // floor of Lentz denominators

// Lanczos sum for x >= 0.5 (or NaN).
double lanczos_ln_gamma(double x) {
  const double xm = x + -1.0;
  const double t = (7.0 + xm) + 0.5;
  double s = 0.9999999999998099;
  s += 676.5203681218851 / (xm + 1.0);
  s += -1259.1392167224028 / (xm + 2.0);
  s += 771.3234287776531 / (xm + 3.0);
  s += -176.6150291621406 / (xm + 4.0);
  s += 12.507343278686905 / (xm + 5.0);
  s += -0.13857109526572012 / (xm + 6.0);
  s += 9.984369578019572e-6 / (xm + 7.0);
  s += 1.5056327351493116e-7 / (xm + 8.0);
  return std::log(s) + ((std::log(t) * (xm + 0.5) + 0.9189385332046727) - t);
}

double floor_tiny(double v) { return std::fabs(v) < kTiny ? kTiny : v; }

// One modified-Lentz step with coefficient alpha; returns the factor d · c.
double lentz_step(double alpha, double& c, double& d) {
  d = floor_tiny(1.0 + alpha * d);
  c = floor_tiny(1.0 + alpha / c);
  d = 1.0 / d;
  return d * c;
}

// I_x(a, b) for 0 < x < 1 on the side where the continued fraction converges.
double beta_fraction(double x, double a, double b, double ln_beta) {
  const double front = std::exp(std::log(x) * a + std::log(1.0 - x) * b - ln_beta);
  const double a_plus_b = a + b;
  double c = 1.0;
  double d = 1.0 - x * a_plus_b / (a + 1.0);
  d = std::fabs(d) < kTiny ? 1e14 : 1.0 / d;
  double h = d;
  for (int step = 1; step <= 100; ++step) {
    const double m = step;
    const double a_2m = a + 2.0 * m;
    h *= lentz_step((b - m) * m * x / ((a_2m - 1.0) * a_2m), c, d);
    const double delta = lentz_step(-(a + m) * (a_plus_b + m) * x / (a_2m * (a_2m + 1.0)), c, d);
    h *= delta;
    if (std::fabs(delta - 1.0) < kEps) break;
  }
  return (front / a) * h;
}

// Up to four beta_fraction evaluations in lockstep, each lane doing exactly
// the scalar arithmetic: the continued fraction is one long chain of
// divisions, so independent lanes fill the divider's pipeline.  A lane
// stops at its own convergence test, as the scalar loop would.
struct FractionLane {
  double x, a, b;
};

void beta_fractions(const FractionLane* lanes, int count, double ln_beta, double* out) {
  constexpr int kLanes = 4;
  double c[kLanes], d[kLanes], h[kLanes], front[kLanes];
  bool running[kLanes];
  for (int l = 0; l < count; ++l) {
    const FractionLane& p = lanes[l];
    front[l] = std::exp(std::log(p.x) * p.a + std::log(1.0 - p.x) * p.b - ln_beta);
    c[l] = 1.0;
    const double d0 = 1.0 - p.x * (p.a + p.b) / (p.a + 1.0);
    d[l] = std::fabs(d0) < kTiny ? 1e14 : 1.0 / d0;
    h[l] = d[l];
    running[l] = true;
  }
  for (int step = 1; step <= 100; ++step) {
    bool any = false;
    for (int l = 0; l < count; ++l) {
      if (!running[l]) continue;
      const FractionLane& p = lanes[l];
      const double m = step;
      const double a_2m = p.a + 2.0 * m;
      h[l] *= lentz_step((p.b - m) * m * p.x / ((a_2m - 1.0) * a_2m), c[l], d[l]);
      const double delta =
          lentz_step(-(p.a + m) * ((p.a + p.b) + m) * p.x / (a_2m * (a_2m + 1.0)), c[l], d[l]);
      h[l] *= delta;
      running[l] = !(std::fabs(delta - 1.0) < kEps);
      any = any || running[l];
    }
    if (!any) break;
  }
  for (int l = 0; l < count; ++l) out[l] = (front[l] / lanes[l].a) * h[l];
}

double gamma_series(double a, double y) {
  double term = 1.0 / a;
  double sum = term;
  for (int n = 1; n <= 200; ++n) {
    term = term * (y / (a + n));
    sum = sum + term;
    if (std::fabs(sum) * 1e-14 > std::fabs(term)) break;
  }
  return sum;
}

double gamma_fraction(double a, double y) {
  double b = y + 1.0 - a;
  double c = 1e14;
  double d = 1.0 / b;
  double h = d;
  for (int step = 1; step <= 200; ++step) {
    const double i = step;
    const double alpha = (i - a) * -i;
    b = b + 2.0;
    d = 1.0 / floor_tiny(alpha * d + b);
    c = floor_tiny(alpha / c + b);
    const double delta = c * d;
    h = h * delta;
    if (std::fabs(delta - 1.0) < kEps) break;
  }
  return h;
}

// Elements per block of the array loops: small enough for the stack, large
// enough that the vectorised pass dominates.
constexpr std::size_t kBlock = 256;

}  // namespace

double ln_gamma(double x) {
  // 1 − x >= 0.5 here, so the reflection needs no further reflection.
  if (0.5 > x) return std::log(kPi / std::sin(x * kPi)) - lanczos_ln_gamma(1.0 - x);
  return lanczos_ln_gamma(x);
}

IncompleteBeta::IncompleteBeta(double a, double b)
    : a_(a),
      b_(b),
      swap_at_a_((a + 1.0) / (a + b + 2.0)),
      swap_at_b_((b + 1.0) / (b + a + 2.0)),
      ln_beta_((ln_gamma(a) + ln_gamma(b)) - ln_gamma(a + b)) {}

double IncompleteBeta::fraction(double x, bool swapped) const {
  return swapped ? beta_fraction(x, b_, a_, ln_beta_) : beta_fraction(x, a_, b_, ln_beta_);
}

double IncompleteBeta::edge_or_fraction(double x, bool swapped) const {
  if (x <= 0.0) return 0.0;
  if (x >= 1.0) return 1.0;
  return fraction(x, swapped);
}

// The symmetry I_x(a, b) = 1 − I_{1−x}(b, a) moves x to the side where the
// fraction converges.  Rounding can put both x and 1 − x beyond their swap
// points; a second swap then reaches x3 = 1 − (1 − x), and if x3 is beyond
// again the arguments only cycle, so one swap is kept.
double IncompleteBeta::operator()(double x) const {
  if (x <= 0.0) return 0.0;
  if (x >= 1.0) return 1.0;
  if (!(x > swap_at_a_)) return fraction(x, false);
  const double x2 = 1.0 - x;
  if (x2 > 0.0 && x2 < 1.0 && x2 > swap_at_b_) {
    const double x3 = 1.0 - x2;
    const bool cycles = x3 > 0.0 && x3 < 1.0 && x3 > swap_at_a_;
    if (!cycles) return 1.0 - (1.0 - edge_or_fraction(x3, false));
  }
  return 1.0 - edge_or_fraction(x2, true);
}

// The same decision as operator() for one x: either a final value, or a
// continued fraction on (arg, swapped) followed by `flips` applications of
// r -> 1 - r.
IncompleteBeta::Plan IncompleteBeta::plan(double x) const {
  if (x <= 0.0) return {0.0, false, 0, true};
  if (x >= 1.0) return {1.0, false, 0, true};
  if (!(x > swap_at_a_)) return {x, false, 0, false};
  const double x2 = 1.0 - x;
  if (x2 > 0.0 && x2 < 1.0 && x2 > swap_at_b_) {
    const double x3 = 1.0 - x2;
    const bool cycles = x3 > 0.0 && x3 < 1.0 && x3 > swap_at_a_;
    if (!cycles) {
      if (x3 <= 0.0) return {1.0 - (1.0 - 0.0), false, 0, true};
      if (x3 >= 1.0) return {1.0 - (1.0 - 1.0), false, 0, true};
      return {x3, false, 2, false};
    }
  }
  if (x2 <= 0.0) return {1.0 - 0.0, false, 0, true};
  if (x2 >= 1.0) return {1.0 - 1.0, false, 0, true};
  return {x2, true, 1, false};
}

// operator() for up to four x at once, the continued fractions interleaved;
// the results are bit for bit those of operator().
void IncompleteBeta::evaluate(const double* x, int count, double* out) const {
  Plan plans[4];
  FractionLane lanes[4];
  int lane_of[4];
  int n_lanes = 0;
  for (int i = 0; i < count; ++i) {
    plans[i] = plan(x[i]);
    if (plans[i].done) continue;
    lane_of[i] = n_lanes;
    lanes[n_lanes++] = plans[i].swapped ? FractionLane{plans[i].value, b_, a_}
                                        : FractionLane{plans[i].value, a_, b_};
  }
  double fractions[4];
  if (n_lanes > 0) beta_fractions(lanes, n_lanes, ln_beta_, fractions);
  for (int i = 0; i < count; ++i) {
    if (plans[i].done) {
      out[i] = plans[i].value;
      continue;
    }
    double r = fractions[lane_of[i]];
    for (int k = 0; k < plans[i].flips; ++k) r = 1.0 - r;
    out[i] = r;
  }
}

double incomplete_beta(double x, double a, double b) { return IncompleteBeta(a, b)(x); }

StudentTCdf::StudentTCdf(double nu) : nu_(nu), beta_(0.5 * nu, 0.5) {}

double StudentTCdf::operator()(double x) const {
  const double y = nu_ / (x * x + nu_);
  const double g = 1.0 - beta_(y) * 0.5;
  return x < 0.0 ? 1.0 - g : g;
}

// operator() for up to four x, their incomplete betas interleaved.  x and
// out may be the same array: every x is read before any out is written.
void StudentTCdf::evaluate(const double* x, int count, double* out) const {
  double xs[4]{}, y[4]{}, ibeta[4]{};
  for (int i = 0; i < count; ++i) {
    xs[i] = x[i];
    y[i] = nu_ / (xs[i] * xs[i] + nu_);
  }
  beta_.evaluate(y, count, ibeta);
  for (int i = 0; i < count; ++i) {
    const double g = 1.0 - ibeta[i] * 0.5;
    out[i] = xs[i] < 0.0 ? 1.0 - g : g;
  }
}

double student_t_cdf(double x, double nu) { return StudentTCdf(nu)(x); }

namespace {

// lower_gamma_regularized with ln(y) supplied by a caller that has it.
double lower_gamma_with_log(double a, double y, double ln_y, double ln_gamma_a) {
  if (y <= 0.0) return 0.0;
  const double front = std::exp(ln_y * a - y - ln_gamma_a);
  if (y < a + 1.0) return front * gamma_series(a, y);
  return 1.0 - front * gamma_fraction(a, y);
}

}  // namespace

double lower_gamma_regularized(double a, double y, double ln_gamma_a) {
  if (y <= 0.0) return 0.0;
  const double front = std::exp(std::log(y) * a - y - ln_gamma_a);
  if (y < a + 1.0) return front * gamma_series(a, y);
  return 1.0 - front * gamma_fraction(a, y);
}

GammaQuantile::GammaQuantile(double a, double theta)
    : a_(a),
      theta_(theta),
      ln_gamma_a_(ln_gamma(a)),
      a_minus_1_(a - 1.0),
      a_ln_theta_(a * std::log(theta)),
      wh_offset_(1.0 - 1.0 / (9.0 * a)),
      wh_slope_(std::sqrt(1.0 / (9.0 * a))),
      unit_scale_(theta == 1.0) {}

// Wilson–Hilferty approximation, kept positive for the Newton iteration.
double GammaQuantile::start(double p) const {
  const double w = wh_offset_ + wh_slope_ * normal_quantile(p);
  const double x = ((a_ * w) * w * w) * theta_;
  return x > 0.0 ? x : 1e-12;
}

// With theta = 1, y = x / theta is x itself, so ln(y) is ln(x) and one
// logarithm per step is shared (same bits, since the values are equal).
double GammaQuantile::operator()(double p) const {
  double x = start(p);
  for (int iteration = 0; iteration < 50; ++iteration) {
    const double y = x / theta_;
    const double ln_x = std::log(x);
    const double cdf = unit_scale_ ? lower_gamma_with_log(a_, y, ln_x, ln_gamma_a_)
                                   : lower_gamma_regularized(a_, y, ln_gamma_a_);
    const double density = std::exp(ln_x * a_minus_1_ - y - a_ln_theta_ - ln_gamma_a_);
    if (density < 1e-300) return checked(x, p);
    const double step = (cdf - p) / density;
    x = x - step;
    if (x <= 0.0) x = 1e-12;
    // A NaN x stays NaN through every further step.
    if (std::fabs(x) * 1e-12 > std::fabs(step) || std::isnan(x)) return x;
  }
  return checked(x, p);
}

// The Newton iteration ended without meeting its own stop test: the density
// underflowed (typically after a first step from a start far in the lower
// tail overshot by orders of magnitude) or the steps ran out.  Its x is kept
// when it does solve P = p; otherwise the quantile is found again by a
// bracketed search.
double GammaQuantile::checked(double x, double p) const {
  if (!(p > 0.0 && p < 1.0) || !(a_ > 0.0) || !(theta_ > 0.0) || !std::isfinite(a_) ||
      !std::isfinite(theta_)) {
    return x;
  }
  const double cdf = lower_gamma_regularized(a_, x / theta_, ln_gamma_a_);
  if (std::fabs(cdf - p) <= 1e-9 * p) return x;
  return bracketed(p) * theta_;
}

// Solves P(a, y) = p for y: first a bracket [lo, hi] by doubling or halving
// from max(1, a), then Newton steps that are replaced by a bisection (in
// the logarithm when the bracket spans orders of magnitude) whenever they
// would leave the bracket.  Every loop is bounded by the range of doubles.
double GammaQuantile::bracketed(double p) const {
  const auto cdf = [&](double y) { return lower_gamma_regularized(a_, y, ln_gamma_a_); };
  double lo = std::max(1.0, a_), hi = lo;
  if (cdf(lo) < p) {
    for (int i = 0; i < 2100 && cdf(hi) < p; ++i) {
      lo = hi;
      hi *= 2.0;
    }
    if (!std::isfinite(hi)) return hi;
  } else {
    for (int i = 0; i < 2100 && lo > 0.0 && cdf(lo) >= p; ++i) {
      hi = lo;
      lo *= 0.5;
    }
  }
  double y = hi;
  for (int iteration = 0; iteration < 400; ++iteration) {
    const double f = std::exp(std::log(y) * a_minus_1_ - y - ln_gamma_a_);
    const double excess = cdf(y) - p;
    if (excess == 0.0) return y;
    (excess > 0.0 ? hi : lo) = y;
    double next = y - excess / f;
    if (!(next > lo && next < hi)) {
      next = lo > 0.0 && hi > 4.0 * lo ? std::sqrt(lo) * std::sqrt(hi) : lo + 0.5 * (hi - lo);
    }
    if (std::fabs(next - y) <= 2e-16 * y || hi - lo <= 2e-16 * hi) return next;
    y = next;
  }
  return y;
}

double gamma_quantile(double p, double a, double theta) { return GammaQuantile(a, theta)(p); }

// Blocks of three passes so that everything around exp vectorises: the
// exponent, then exp alone, then the rest of normal_cdf on the stored e.
// The block's inputs are read into a local copy first, so the passes stay
// vectorised when out is the input itself.
void norm_cdf(std::span<const double> x, std::span<double> out) {
  double in[kBlock], e[kBlock];
  for (std::size_t begin = 0; begin < x.size(); begin += kBlock) {
    const std::size_t len = std::min(kBlock, x.size() - begin);
    std::copy_n(x.data() + begin, len, in);
    double* dst = out.data() + begin;
    for (std::size_t j = 0; j < len; ++j) {
      const double z = std::fabs(in[j] * 0.7071067811865475);
      e[j] = -z * z;
    }
    for (std::size_t j = 0; j < len; ++j) e[j] = std::exp(e[j]);
    for (std::size_t j = 0; j < len; ++j) dst[j] = normal_cdf_detail::finish(in[j], e[j]);
  }
}

// Blocks of two passes: the central formula (no library calls) for every
// element vectorises; the few tail elements are then patched.
void norm_ppf(std::span<const double> p, std::span<double> out) {
  double in[kBlock], central[kBlock];
  for (std::size_t begin = 0; begin < p.size(); begin += kBlock) {
    const std::size_t len = std::min(kBlock, p.size() - begin);
    std::copy_n(p.data() + begin, len, in);
    double* dst = out.data() + begin;
    for (std::size_t j = 0; j < len; ++j) central[j] = normal_quantile_detail::central(in[j]);
    for (std::size_t j = 0; j < len; ++j) {
      const double v = in[j];
      dst[j] = normal_quantile_detail::is_central(v) ? central[j] : normal_quantile_detail::tail(v);
    }
  }
}

void t_cdf(std::span<const double> x, double df, std::span<double> out) {
  const StudentTCdf cdf(df);
  for (std::size_t begin = 0; begin < x.size(); begin += 4) {
    const int count = static_cast<int>(std::min<std::size_t>(4, x.size() - begin));
    cdf.evaluate(x.data() + begin, count, out.data() + begin);
  }
}

void gamma_ppf(std::span<const double> u, double a, double scale, std::span<double> out) {
  const GammaQuantile quantile(a, scale);
  for (std::size_t i = 0; i < u.size(); ++i) out[i] = quantile(u[i]);
}

void expon_ppf(std::span<const double> u, double scale, std::span<double> out) {
  const double neg_scale = -scale;
  for (std::size_t i = 0; i < u.size(); ++i) out[i] = std::log(1.0 - u[i]) * neg_scale;
}

void lognorm_ppf(std::span<const double> u, double s, double scale, std::span<double> out) {
  norm_ppf(u, out);
  for (std::size_t i = 0; i < u.size(); ++i) out[i] = std::exp(out[i] * s) * scale;
}

void uniform_ppf(std::span<const double> u, double loc, double scale, std::span<double> out) {
  for (std::size_t i = 0; i < u.size(); ++i) out[i] = u[i] * scale + loc;
}

}  // namespace tidemark
