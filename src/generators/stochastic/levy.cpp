// Levy-stable increments by the Chambers-Mallows-Stuck method.
#include <algorithm>
#include <cmath>

#include "generators/stochastic/stochastic_processes.hpp"
#include "rng/random_stream.hpp"

namespace tidemark {
namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kHalfPi = 1.5707963267948966;
constexpr double kTwoOverPi = 0.6366197723675814;
constexpr double kSqrt2 = 1.4142135623730951;
constexpr double kAlphaTolerance = 1e-10;
constexpr double kLogFloor = 1e-300;

// alpha = 2: N(0, 2), one normal draw.
struct GaussianStable {
  double operator()(RandomStream& s) const { return s.standard_normal() * kSqrt2; }
};

// The angle V ~ U(-pi/2, pi/2) and W ~ Exp(1), drawn in that order.
struct AngleAndWeight {
  double v, w;
};

class CmsDraws {
 public:
  CmsDraws() : width_(RandomStream::uniform_width(-kHalfPi, kHalfPi)) {}
  AngleAndWeight operator()(RandomStream& s) const {
    const double v = RandomStream::clamp_below(s.unit_mantissa() * width_ + -kHalfPi, kHalfPi);
    const double w = s.standard_exponential();
    return {v, w};
  }

 private:
  double width_;
};

// alpha = 1.
class CauchyStable {
 public:
  explicit CauchyStable(double beta) : beta_(beta) {}
  double operator()(RandomStream& s) const {
    const auto [v, w] = draws_(s);
    const double skewed = v * beta_ + kHalfPi;
    const double e = (std::cos(v) * (w * kHalfPi)) / skewed;
    return (std::tan(v) * skewed - std::log(std::max(e, kLogFloor)) * beta_) * kTwoOverPi;
  }

 private:
  CmsDraws draws_;
  double beta_;
};

// Every other alpha; the parts that depend only on (alpha, beta) are set up once.
class GeneralStable {
 public:
  GeneralStable(double alpha, double beta) : alpha_(alpha) {
    const double theta = (kPi * alpha) * 0.5;
    const double tan_theta = std::tan(theta);
    b_ = std::atan(tan_theta * beta) / alpha;
    s_ = std::pow(tan_theta * tan_theta * (beta * beta) + 1.0, 1.0 / (2.0 * alpha));
    inv_alpha_ = 1.0 / alpha;
    tail_exponent_ = (1.0 - alpha) / alpha;
  }
  double operator()(RandomStream& s) const {
    const auto [v, w] = draws_(s);
    const double u = (b_ + v) * alpha_;
    return ((std::sin(u) * s_) / std::pow(std::cos(v), inv_alpha_)) *
           std::pow(std::cos(v - u) / w, tail_exponent_);
  }

 private:
  CmsDraws draws_;
  double alpha_;
  double b_ = 0.0, s_ = 0.0, inv_alpha_ = 0.0, tail_exponent_ = 0.0;
};

template <class Draw>
void fill(const Draw& draw, const LevyParams& p, RandomStream& s, std::span<double> out) {
  if (p.cumulative) {
    double x = p.initial_value;
    for (double& value : out) {
      x = x + (draw(s) * p.scale + p.location);
      value = x;
    }
  } else {
    for (double& value : out) value = draw(s) * p.scale + p.location;
  }
}

}  // namespace

Status generate_levy_process(const LevyParams& p, uint64_t seed, std::span<double> out) {
  RandomStream stream(seed);
  if (std::fabs(p.alpha - 2.0) < kAlphaTolerance) {
    fill(GaussianStable{}, p, stream, out);
  } else if (std::fabs(p.alpha - 1.0) < kAlphaTolerance) {
    fill(CauchyStable(p.beta_skew), p, stream, out);
  } else {
    fill(GeneralStable(p.alpha, p.beta_skew), p, stream, out);
  }
  return std::nullopt;
}

}  // namespace tidemark
