// Bounded processes: a proportion in (0, 1) evolved by a Beta or a
// logistic-normal autoregression and mapped onto [lower, upper].
#include <algorithm>
#include <cmath>

#include "generators/stochastic/stochastic_processes.hpp"
#include "rng/samplers.hpp"

namespace tidemark {
namespace {

constexpr double kProportionFloor = 1e-10;
constexpr double kProportionCeiling = 0.9999999999;
constexpr double kMeanFloor = 1e-6;
constexpr double kMeanCeiling = 0.999999;
constexpr double kLogitBound = 500.0;

// min(max(lo, x), hi) with std::max's argument order: a NaN x becomes lo.
// (std::clamp would pass the NaN through.)
double clamp_nan_low(double x, double lo, double hi) { return std::min(std::max(lo, x), hi); }

void logistic_normal(const BoundedParams& p, RandomStream& s, std::span<double> out) {
  const double range = p.upper - p.lower;
  const double p0 = clamp_nan_low(p.initial_value, kProportionFloor, kProportionCeiling);
  double z = std::log(p0 / (1.0 - p0));
  for (double& y : out) {
    const double eps = s.standard_normal();
    z = eps * p.sigma_param + z * p.phi;
    const double zc = std::max(-kLogitBound, z);
    const double prop = zc > kLogitBound ? 1.0 : 1.0 / (std::exp(-zc) + 1.0);
    y = prop * range + p.lower;
  }
}

void beta_autoregression(const BoundedParams& p, RandomStream& s, std::span<double> out) {
  const double range = p.upper - p.lower;
  double prop = p.initial_value;
  for (double& y : out) {
    const double mu = clamp_nan_low(prop * p.phi + p.omega, kMeanFloor, kMeanCeiling);
    const double g1 = sample_gamma(s, p.kappa * mu, 1.0);
    const double g2 = sample_gamma(s, (1.0 - mu) * p.kappa, 1.0);
    // Both gammas can underflow to 0 for tiny shapes: 0/0 clamps to the floor.
    prop = clamp_nan_low(g1 / (g2 + g1), kProportionFloor, kProportionCeiling);
    y = prop * range + p.lower;
  }
}

}  // namespace

Status generate_bounded_process(const BoundedParams& p, uint64_t seed, std::span<double> out) {
  RandomStream stream(seed);
  if (p.model_id == 0) {
    beta_autoregression(p, stream, out);
  } else {
    logistic_normal(p, stream, out);
  }
  return std::nullopt;
}

}  // namespace tidemark
