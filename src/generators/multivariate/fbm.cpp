#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "generators/multivariate/circulant.hpp"
#include "generators/multivariate/multivariate.hpp"
#include "linalg/matrix.hpp"
#include "rng/random_stream.hpp"

namespace tidemark {

namespace {

// Autocovariance of fractional Gaussian noise at lags 0 … count − 1.  The
// powers |j|^(2H) are shared by neighbouring lags, so each is computed once.
std::vector<double> fgn_autocovariance(double hurst, double sigma, std::size_t count) {
  const double two_h = 2.0 * hurst;
  const double half_var = 0.5 * sigma * sigma;
  std::vector<double> power(count + 1);
  for (std::size_t j = 0; j <= count; ++j) power[j] = std::pow(static_cast<double>(j), two_h);
  std::vector<double> g(count);
  for (std::size_t k = 0; k < count; ++k) {
    const double below = power[k == 0 ? 1 : k - 1];  // |k − 1|
    g[k] = (below + (power[k + 1] - 2.0 * power[k])) * half_var;
  }
  return g;
}

// Durbin–Levinson: each increment given all earlier ones.  O(n) memory.
void hosking(const std::vector<double>& gamma, RandomStream& stream, std::span<double> g) {
  const std::size_t n = g.size();
  if (n == 0) return;  // nothing to draw
  std::vector<double> phi(n), next(n);
  g[0] = std::sqrt(gamma[0]) * stream.standard_normal();
  double v = gamma[0];
  for (std::size_t j = 1; j < n; ++j) {
    if (j == 1) {
      next[1] = gamma[1] / v;
    } else {
      double s = 0.0;
      for (std::size_t i = 1; i < j; ++i) s += phi[i] * gamma[j - i];
      next[j] = (gamma[j] - s) / v;
      for (std::size_t k = 1; k < j; ++k) next[k] = phi[k] - next[j] * phi[j - k];
    }
    double mu = -0.0;
    for (std::size_t k = 1; k <= j; ++k) mu += next[k] * g[j - k];
    v = v * (1.0 - next[j] * next[j]);
    g[j] = std::sqrt(std::max(v, 0.0)) * stream.standard_normal() + mu;
    std::swap(phi, next);
  }
}

void dense(const std::vector<double>& gamma, RandomStream& stream, std::span<double> g) {
  const std::size_t n = g.size();
  Matrix cov(n, n);
  for (std::size_t j = 0; j < n; ++j) {
    double* col = cov.column(j);
    for (std::size_t i = 0; i < n; ++i) col[i] = gamma[i >= j ? i - j : j - i];
  }
  const Matrix b = covariance_factor(cov);
  cov = Matrix();
  std::vector<double> z(n);
  for (double& zi : z) zi = stream.standard_normal();
  multiply(b, z, g);
}

}  // namespace

Status generate_fbm(const FbmParams& p, uint64_t seed, std::span<double> out) {
  RandomStream stream(seed);
  const std::size_t n = out.size();
  switch (p.method) {
    case 1:
      hosking(fgn_autocovariance(p.hurst, p.sigma, n), stream, out);
      break;
    case 2:
      circulant_sample(fgn_autocovariance(p.hurst, p.sigma, circulant_size(n) / 2 + 1), stream,
                       out);
      break;
    default:
      dense(fgn_autocovariance(p.hurst, p.sigma, n), stream, out);
      break;
  }
  if (p.cumulative) {
    double x = p.initial_value;
    for (double& value : out) {
      x = x + value;
      value = x;
    }
  }
  return std::nullopt;
}

}  // namespace tidemark
