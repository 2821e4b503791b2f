#include <algorithm>
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

// The marginal transform of clamped uniforms, in place; one loop per
// marginal so the loops carry no per-value dispatch.
void apply_marginal(Marginal m, double p1, double p2, std::span<double> v) {
  switch (m) {
    case Marginal::Normal:
      for (double& x : v) x = normal_quantile(x) * p2 + p1;
      return;
    case Marginal::Lognormal:
      for (double& x : v) x = std::exp(normal_quantile(x) * p1) * p2;
      return;
    case Marginal::Exponential:
      for (double& x : v) x = std::log(1.0 - x) * (-p1);
      return;
    case Marginal::Uniform:
      for (double& x : v) x = x * p2 + p1;
      return;
    case Marginal::Gamma:
      for (double& x : v) x = gamma_quantile(x, p1, p2);
      return;
    case Marginal::StandardNormal:
      for (double& x : v) x = normal_quantile(x);
      return;
  }
}

// Values per block: the draws of a block come first, then its
// transforms, which keeps the branchy sampler out of the arithmetic loops.
constexpr std::size_t kBlock = 256;

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
  for (std::size_t begin = 0; begin < out.size(); begin += kBlock) {
    const std::span<double> block = out.subspan(begin, std::min(kBlock, out.size() - begin));
    for (double& value : block) {
      for (double& zi : z) zi = stream.standard_normal();
      // Only the first variable is returned; the others only shape the draws.
      value = multiply_row(b, 0, z);
      if (student) value = value * std::sqrt(p.df / (*chi_square)(stream));
    }
    if (student) {
      for (double& value : block) value = clamp_uniform((*t_cdf)(value));
    } else {
      for (double& value : block) value = clamp_uniform(normal_cdf(value));
    }
    apply_marginal(marginal, p.marginal_param1, p.marginal_param2, block);
  }
  return std::nullopt;
}

}  // namespace tidemark
