#include "rng/innovations.hpp"

#include <cmath>

#include "core/internal_failure.hpp"

namespace tidemark {
namespace {

constexpr double kSqrt2 = 1.4142135623730951;
constexpr double kSqrt3 = 1.7320508075688772;
constexpr double kPi = 3.141592653589793;
constexpr double kSqrtTwoOverPi = 0.7978845608028654;

constexpr const char* kDrawNormalMessage = "invalid normal params: std must be finite and >= 0";
constexpr const char* kFillNormalMessage =
    "invalid normal innovation param: scale must be finite and >= 0";

double previous_double(double x) { return std::nextafter(x, -INFINITY); }

}  // namespace

InnovationSampler::InnovationSampler(const InnovationSpec& spec, double scale)
    : InnovationSampler(spec, scale, kDrawNormalMessage) {}

InnovationSampler::InnovationSampler(const InnovationSpec& spec, double scale,
                                     const char* normal_message)
    : kind_(kind_of(spec.code)), scale_(scale) {
  switch (kind_) {
    case Kind::Normal:
      if (!std::isfinite(scale)) internal_failure(normal_message);
      break;
    case Kind::StudentT:
      set_up_student_t(spec.param, scale);
      break;
    case Kind::Laplace:
      set_up_laplace(scale);
      break;
    case Kind::Uniform:
      set_up_uniform(scale);
      break;
    case Kind::SkewNormal:
      set_up_skew_normal(spec.param, scale);
      break;
  }
}

InnovationSampler::Kind InnovationSampler::kind_of(int32_t code) {
  switch (code) {
    case 1: return Kind::StudentT;
    case 2: return Kind::Laplace;
    case 3: return Kind::Uniform;
    case 4: return Kind::SkewNormal;
    default: return Kind::Normal;  // every unlisted code, negatives included
  }
}

void InnovationSampler::set_up_student_t(double dof, double scale) {
  if (!(dof > 2.0)) internal_failure("Student's t df must be > 2 for finite variance");
  chi_square_ = GammaSampler(dof / 2.0, 2.0);
  dof_ = dof;
  factor_ = scale * std::sqrt((dof - 2.0) / dof);
}

void InnovationSampler::set_up_laplace(double scale) {
  const double b = scale / kSqrt2;
  const double rate = 1.0 / b;
  if (std::isnan(rate) || std::signbit(rate)) {
    internal_failure("invalid laplace param: scale must be > 0");
  }
  factor_ = 1.0 / rate;
}

// The width loop guarantees m * width - a <= a for every mantissa m; the
// draw itself keeps the interval half-open.
void InnovationSampler::set_up_uniform(double scale) {
  const double a = scale * kSqrt3;
  if (!(a > 0.0) || std::isinf(2.0 * a)) {
    internal_failure("invalid uniform innovation param: scale must be > 0");
  }
  double width = 2.0 * a;
  while (a < width * (1.0 - 0x1.0p-52) - a) width = previous_double(width);
  half_width_ = a;
  factor_ = width;
}

void InnovationSampler::set_up_skew_normal(double alpha, double scale) {
  delta_ = alpha / std::sqrt(alpha * alpha + 1.0);
  const double h = 1.0 - 2.0 * (delta_ * delta_) / kPi;
  spread_ = std::sqrt(1.0 - delta_ * delta_);
  mean_shift_ = delta_ * kSqrtTwoOverPi;
  standardisable_ = h > 0.0;  // false only for a NaN alpha
  factor_ = standardisable_ ? scale / std::sqrt(h) : scale;
}

double draw_innovation(RandomStream& s, const InnovationSpec& spec, double scale) {
  return InnovationSampler(spec, scale)(s);
}

void fill_innovations(RandomStream& s, const InnovationSpec& spec, double scale,
                      std::span<double> out) {
  const InnovationSampler shock(spec, scale, kFillNormalMessage);
  shock.with_kind([&](auto draw) {
    for (double& value : out) value = draw(s);
  });
}

}  // namespace tidemark
