// Scalar CDFs and quantile functions, and their element-wise array loops.
//
// Every routine is a closed-form approximation or a short iteration with
// fixed constants, evaluated with a fixed grouping of operations so that the
// same input gives the same bits everywhere (the build forbids contraction
// into FMA).  The copula generator shares the scalar routines.
#pragma once

#include <cmath>
#include <span>

namespace tidemark {

namespace normal_cdf_detail {

// Everything of normal_cdf but e = exp(−z · z), z = |x · 1/√2|.
inline double finish(double x, double e) {
  const double xs = x * 0.7071067811865475;
  const double z = std::fabs(xs);
  const double t = 1.0 / (z * 0.3275911 + 1.0);
  const double poly =
      ((((t * 1.061405429 + -1.453152027) * t + 1.421413741) * t + -0.284496736) * t +
       0.254829592) *
      t;
  const double y = 1.0 - poly * e;
  const double erf = !(xs >= 0.0) ? -y : y;  // negative or NaN
  return (erf + 1.0) * 0.5;
}

}  // namespace normal_cdf_detail

// Φ(x) through the erf approximation of Abramowitz–Stegun 7.1.26 (absolute
// error about 1.5e-7).  Its coefficients sum to 0.999999999, so Φ(0) is
// 0.5000000005.
inline double normal_cdf(double x) {
  const double z = std::fabs(x * 0.7071067811865475);
  return normal_cdf_detail::finish(x, std::exp(-z * z));
}

namespace normal_quantile_detail {

inline constexpr double kLowTail = 0.02425;
inline constexpr double kHighTail = 0.97575;

inline bool is_central(double p) { return kLowTail <= p && p <= kHighTail; }

// Acklam's central rational function; valid for 0.02425 <= p <= 0.97575.
inline double central(double p) {
  const double q = p + -0.5;
  const double r = q * q;
  const double num = (((((r * -39.69683028665376 + 220.9460984245205) * r + -275.9285104469687) *
                            r +
                        138.357751867269) *
                           r +
                       -30.66479806614716) *
                          r +
                      2.506628277459239) *
                     q;
  const double den = ((((r * -54.47609879822406 + 161.5858368580409) * r + -155.6989798598866) * r +
                       66.80131188771972) *
                          r +
                      -13.28068155288572) *
                         r +
                     1.0;
  return num / den;
}

// c-polynomial over d-polynomial in q = √(−2 ln tail probability).
inline double tail_ratio(double q) {
  const double num = ((((q * -0.007784894002430293 + -0.3223964580411365) * q +
                        -2.400758277161838) *
                           q +
                       -2.549732539343734) *
                          q +
                      4.374664141464968) *
                         q +
                     2.938163982698783;
  const double den =
      (((q * 0.007784695709041462 + 0.3224671290700398) * q + 2.445134137142996) * q +
       3.754408661907416) *
          q +
      1.0;
  return num / den;
}

// Both tails; NaN takes the upper one and stays NaN.
inline double tail(double p) {
  if (p < kLowTail) return tail_ratio(std::sqrt(std::log(p) * -2.0));
  return -tail_ratio(std::sqrt(std::log(1.0 - p) * -2.0));
}

}  // namespace normal_quantile_detail

// Φ⁻¹(p) by Acklam's rational approximation, no refinement (relative error
// about 1.15e-9).  p = 0, p = 1 and p outside [0, 1] give NaN.
inline double normal_quantile(double p) {
  if (normal_quantile_detail::is_central(p)) return normal_quantile_detail::central(p);
  return normal_quantile_detail::tail(p);
}

// ln Γ(x): Lanczos approximation (g = 7, nine coefficients), reflection below
// 0.5.
double ln_gamma(double x);

// Regularised incomplete beta I_x(a, b) by the modified Lentz continued
// fraction.
double incomplete_beta(double x, double a, double b);

// Student t CDF with nu degrees of freedom.
double student_t_cdf(double x, double nu);

// Regularised lower incomplete gamma P(a, y); ln_gamma_a is ln Γ(a), passed
// in because Newton iterations on one shape reuse it.
double lower_gamma_regularized(double a, double y, double ln_gamma_a);

// Quantile of the gamma distribution with shape a and scale theta.
double gamma_quantile(double p, double a, double theta);

// I_x(a, b) for fixed (a, b): the logarithm of the beta function and the swap
// thresholds are computed once.  Equal bits to incomplete_beta(x, a, b).
class IncompleteBeta {
 public:
  IncompleteBeta(double a, double b);
  double operator()(double x) const;
  // operator() for count <= 4 values at once, bit for bit.
  void evaluate(const double* x, int count, double* out) const;

 private:
  struct Plan {
    double value;  // the result when done, else the fraction's argument
    bool swapped;
    int flips;
    bool done;
  };
  Plan plan(double x) const;
  double a_, b_;
  double swap_at_a_, swap_at_b_;  // thresholds of I(·, a, b) and of I(·, b, a)
  double ln_beta_;                // (lnΓ(a) + lnΓ(b)) − lnΓ(a + b), symmetric
  double fraction(double x, bool swapped) const;
  double edge_or_fraction(double x, bool swapped) const;
};

// Student t CDF for a fixed nu; equal bits to student_t_cdf(x, nu).
class StudentTCdf {
 public:
  explicit StudentTCdf(double nu);
  double operator()(double x) const;
  // operator() for count <= 4 values at once, bit for bit.
  void evaluate(const double* x, int count, double* out) const;

 private:
  double nu_;
  IncompleteBeta beta_;
};

// Gamma quantile for a fixed (a, theta); equal bits to gamma_quantile.
class GammaQuantile {
 public:
  GammaQuantile(double a, double theta);
  double operator()(double p) const;

 private:
  double a_, theta_;
  double ln_gamma_a_, a_minus_1_, a_ln_theta_;
  double wh_offset_, wh_slope_;  // Wilson–Hilferty: w = offset + slope · z
  bool unit_scale_;
  double start(double p) const;
  double checked(double x, double p) const;
  double bracketed(double p) const;
};

// Element-wise loops: out[i] is the routine applied to the i-th input.  out
// has as many elements as the input and may be the input itself.
void norm_cdf(std::span<const double> x, std::span<double> out);
void norm_ppf(std::span<const double> p, std::span<double> out);
void t_cdf(std::span<const double> x, double df, std::span<double> out);
void gamma_ppf(std::span<const double> u, double a, double scale, std::span<double> out);
void expon_ppf(std::span<const double> u, double scale, std::span<double> out);
void lognorm_ppf(std::span<const double> u, double s, double scale, std::span<double> out);
void uniform_ppf(std::span<const double> u, double loc, double scale, std::span<double> out);

}  // namespace tidemark
