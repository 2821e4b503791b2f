#include <cmath>
#include <optional>
#include <vector>

#include "core/internal_failure.hpp"
#include "distributions/distributions.hpp"
#include "generators/multivariate/multivariate.hpp"
#include "linalg/matrix.hpp"
#include "rng/random_stream.hpp"
#include "rng/samplers.hpp"

namespace tidemark {

namespace {

constexpr double kLowestUniform = 1e-15;
constexpr double kHighestUniform = 0.999999999999999;

enum class Marginal { Normal, Lognormal, Exponential, Uniform, Gamma, StandardNormal };

Marginal marginal_of(int32_t code) {
  switch (code) {
    case 0: return Marginal::Normal;
    case 1: return Marginal::Lognormal;
    case 2: return Marginal::Exponential;
    case 3: return Marginal::Uniform;
    case 4: return Marginal::Gamma;
    default: return Marginal::StandardNormal;
  }
}

// Keeps the quantile functions away from 0 and 1; a NaN stays NaN.
double clamp_uniform(double u) {
  const double v = u < kLowestUniform ? kLowestUniform : u;
  return kHighestUniform < v ? kHighestUniform : v;
}

double marginal_value(Marginal m, double v, double p1, double p2) {
  switch (m) {
    case Marginal::Normal: return normal_quantile(v) * p2 + p1;
    case Marginal::Lognormal: return std::exp(normal_quantile(v) * p1) * p2;
    case Marginal::Exponential: return std::log(1.0 - v) * (-p1);
    case Marginal::Uniform: return v * p2 + p1;
    case Marginal::Gamma: return gamma_quantile(v, p1, p2);
    case Marginal::StandardNormal: break;
  }
  return normal_quantile(v);
}

}  // namespace

Status generate_copula(const CopulaParams& p, uint64_t seed, std::span<double> out) {
  if (p.n_variables < 1) internal_failure("copula: n_variables must be > 0");
  const auto k = static_cast<uint64_t>(p.n_variables);
  RandomStream stream(seed);
  const Matrix b =
      covariance_factor(matrix_from_flat(p.correlation_matrix, k, k, "copula correlation_matrix"));

  // The t copula's chi-square sampler refuses a bad df here, before any
  // value is produced.
  const bool student = p.copula_type != 0;
  std::optional<GammaSampler> chi_square;
  std::optional<StudentTCdf> t_cdf;
  if (student) {
    chi_square.emplace(p.df / 2.0, 2.0);
    t_cdf.emplace(p.df);
  }
  const Marginal marginal = marginal_of(p.marginal_distribution);
  std::vector<double> z(b.rows());
  for (double& value : out) {
    for (double& zi : z) zi = stream.standard_normal();
    // Only the first variable is returned; the others only shape the draws.
    const double y0 = multiply_row(b, 0, z);
    double u;
    if (student) {
      const double w = (*chi_square)(stream);
      u = (*t_cdf)(y0 * std::sqrt(p.df / w));
    } else {
      u = normal_cdf(y0);
    }
    value = marginal_value(marginal, clamp_uniform(u), p.marginal_param1, p.marginal_param2);
  }
  return std::nullopt;
}

}  // namespace tidemark
