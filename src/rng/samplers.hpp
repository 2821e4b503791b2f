// Distribution samplers over a RandomStream.  Each checks its parameters
// (throwing InternalFailure with a fixed message) and then draws words in a
// fixed order, so a seed fixes every value.  None allocates.
#pragma once

#include <cstdint>

#include "rng/random_stream.hpp"

namespace tidemark {

double sample_normal(RandomStream& s, double mean, double std);
double sample_lognormal(RandomStream& s, double mu, double sigma);
double sample_exponential(RandomStream& s, double lambda);
bool sample_bernoulli(RandomStream& s, double p);
uint64_t sample_geometric(RandomStream& s, double p);
double sample_gamma(RandomStream& s, double shape, double scale);
int32_t sample_poisson(RandomStream& s, double lambda);
int32_t sample_binomial(RandomStream& s, int32_t n, double p);
int32_t sample_negative_binomial(RandomStream& s, double r, double p);

// The set-up of sample_gamma (Marsaglia-Tsang form and constants), kept so
// callers drawing many values with one (shape, scale) do it once.  Drawing
// from it consumes exactly what sample_gamma would.
class GammaSampler {
 public:
  // Checks the parameters like sample_gamma.
  GammaSampler(double shape, double scale);
  double operator()(RandomStream& s) const;

 private:
  enum class Form { Exponential, SmallShape, LargeShape };
  double cubed_deviate(RandomStream& s) const;

  Form form_;
  double mean_ = 0.0;         // exponential form
  double d_ = 0.0, c_ = 0.0;  // Marsaglia-Tsang constants
  double inv_shape_ = 0.0;    // small-shape form
  double scale_ = 0.0;
};

// The set-up of sample_poisson for one lambda (multiplication-method bound or
// PD constants); draws the same words as sample_poisson(lambda).
class PoissonSampler {
 public:
  // Checks lambda like sample_poisson.
  explicit PoissonSampler(double lambda);
  int32_t operator()(RandomStream& s) const;

 private:
  enum class Method { Zero, Multiplication, Pd };
  struct Quotient {
    double px, py, fx, fy;
  };
  double pd_draw(RandomStream& s) const;
  bool pd_normal_step(RandomStream& s, double& k) const;
  Quotient quotient(double k) const;

  double lambda_;
  Method method_ = Method::Zero;
  double exp_neg_lambda_ = 0.0;
  // PD constants
  double s_ = 0, d_ = 0, l_ = 0, c_ = 0, omega_ = 0, c0_ = 0, c1_ = 0, c2_ = 0, c3_ = 0;
};

}  // namespace tidemark
