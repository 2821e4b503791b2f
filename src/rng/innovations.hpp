// Innovation (shock) distributions: every code is standardised to mean 0 and
// variance 1 and multiplied by the scale the generator asks for.
#pragma once

#include <cmath>
#include <cstdint>
#include <span>

#include "rng/random_stream.hpp"
#include "rng/samplers.hpp"

namespace tidemark {

struct InnovationSpec {
  int32_t code = 0;      // 1 Student t, 2 Laplace, 3 uniform, 4 skew-normal, else normal
  double param = 0.0;    // degrees of freedom (1) or shape (4)
};

// One shock with standard deviation `scale`; the spec is checked on every call.
double draw_innovation(RandomStream& s, const InnovationSpec& spec, double scale);

// One shock per element of `out`, in index order: the same values and the
// same stream state as out.size() calls of draw_innovation.  The spec is
// checked once, before the first shock, even for an empty buffer.
void fill_innovations(RandomStream& s, const InnovationSpec& spec, double scale,
                      std::span<double> out);

// draw_innovation with its per-call set-up done once, for generators that
// draw one shock per step with a fixed spec and scale.  Construction runs
// the same check as draw_innovation (with its message) and draws nothing.
class InnovationSampler {
 public:
  InnovationSampler(const InnovationSpec& spec, double scale);
  double operator()(RandomStream& s) const;

  // Calls body(draw) once, where draw(stream) draws one shock of this
  // sampler's kind: a loop written inside body is compiled once per kind,
  // with the kind dispatched once for the whole loop instead of per shock.
  template <class Body>
  decltype(auto) with_kind(Body&& body) const {
    switch (kind_) {
      case Kind::StudentT: return body([this](RandomStream& s) { return student_t(s); });
      case Kind::Laplace: return body([this](RandomStream& s) { return laplace(s); });
      case Kind::Uniform: return body([this](RandomStream& s) { return uniform(s); });
      case Kind::SkewNormal: return body([this](RandomStream& s) { return skew_normal(s); });
      case Kind::Normal: break;
    }
    return body([this](RandomStream& s) { return normal(s); });
  }

 private:
  enum class Kind { Normal, StudentT, Laplace, Uniform, SkewNormal };

  // fill_innovations reports a non-finite normal scale in its own words.
  InnovationSampler(const InnovationSpec& spec, double scale, const char* normal_message);
  friend void fill_innovations(RandomStream& s, const InnovationSpec& spec, double scale,
                               std::span<double> out);

  static Kind kind_of(int32_t code);
  void set_up_student_t(double dof, double scale);
  void set_up_laplace(double scale);
  void set_up_uniform(double scale);
  void set_up_skew_normal(double alpha, double scale);

  double normal(RandomStream& s) const;
  double student_t(RandomStream& s) const;
  double laplace(RandomStream& s) const;
  double uniform(RandomStream& s) const;
  double skew_normal(RandomStream& s) const;

  Kind kind_;
  double scale_;
  // The one multiplier of each kind: Student t sqrt((dof - 2) / dof) * scale,
  // Laplace exponential mean, uniform width, skew-normal scale / sqrt(h).
  double factor_ = 0.0;
  GammaSampler chi_square_{1.0, 1.0};  // Student t
  double dof_ = 0.0;                   // Student t
  double half_width_ = 0.0;            // uniform: shocks lie in [-a, a)
  // Skew-normal: delta, sqrt(1 - delta^2), the mean delta * sqrt(2 / pi),
  // and whether h > 0 so the shock can be standardised.
  double delta_ = 0.0, spread_ = 0.0, mean_shift_ = 0.0;
  bool standardisable_ = true;
};

// The draws are defined here so that per-step generator loops inline them.

inline double InnovationSampler::operator()(RandomStream& s) const {
  switch (kind_) {
    case Kind::StudentT: return student_t(s);
    case Kind::Laplace: return laplace(s);
    case Kind::Uniform: return uniform(s);
    case Kind::SkewNormal: return skew_normal(s);
    case Kind::Normal: break;
  }
  return normal(s);
}

// + 0.0 turns a -0.0 product (zero or negative scale) into +0.0.
inline double InnovationSampler::normal(RandomStream& s) const {
  return scale_ * s.standard_normal() + 0.0;
}

// T = Z * sqrt(dof / X) with X chi-square; the normal is drawn first.
inline double InnovationSampler::student_t(RandomStream& s) const {
  const double z = s.standard_normal();
  const double x = chi_square_(s);
  return factor_ * (z * std::sqrt(dof_ / x));
}

inline double InnovationSampler::laplace(RandomStream& s) const {
  const double e1 = s.standard_exponential() * factor_;
  const double e2 = s.standard_exponential() * factor_;
  return e1 - e2;
}

inline double InnovationSampler::uniform(RandomStream& s) const {
  const double shock = s.unit_mantissa() * factor_ - half_width_;
  return RandomStream::clamp_below(shock, half_width_);
}

// Azzalini's representation: delta |Z1| + sqrt(1 - delta^2) Z2.
inline double InnovationSampler::skew_normal(RandomStream& s) const {
  const double z1 = std::fabs(s.standard_normal());
  const double z2 = s.standard_normal();
  const double x = spread_ * (z2 + 0.0) + z1 * delta_;
  return standardisable_ ? factor_ * (x - mean_shift_) : factor_ * x;
}

}  // namespace tidemark
