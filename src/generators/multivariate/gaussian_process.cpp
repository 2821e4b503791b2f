#include <cmath>
#include <vector>

#include "generators/multivariate/circulant.hpp"
#include "generators/multivariate/multivariate.hpp"
#include "linalg/matrix.hpp"
#include "rng/random_stream.hpp"

namespace tidemark {

namespace {

constexpr double kSqrt3 = 1.7320508075688772;
constexpr double kSqrt5 = 2.23606797749979;
constexpr double kPi = 3.141592653589793;

enum class Kernel { SquaredExponential, Exponential, Matern32, Matern52, Periodic };

Kernel kernel_of(int32_t id) {
  switch (id) {
    case 1: return Kernel::Exponential;
    case 2: return Kernel::Matern32;
    case 3: return Kernel::Matern52;
    case 4: return Kernel::Periodic;
    default: return Kernel::SquaredExponential;  // 0 and every unlisted id
  }
}

// k(d) for lags 0 … count − 1, noise_variance added at lag 0.
std::vector<double> kernel_values(const GaussianProcessParams& p, Kernel kernel,
                                  std::size_t count) {
  const double a2 = p.amplitude * p.amplitude;
  const double ell = p.length_scale;
  std::vector<double> k(count);
  for (std::size_t i = 0; i < count; ++i) {
    const auto d = static_cast<double>(i);
    switch (kernel) {
      case Kernel::SquaredExponential: {
        const double q = d / ell;
        k[i] = a2 * std::exp((q * -0.5) * q);
        break;
      }
      case Kernel::Exponential:
        k[i] = a2 * std::exp((-d) / ell);
        break;
      case Kernel::Matern32: {
        const double r = (d * kSqrt3) / ell;
        k[i] = std::exp(-r) * ((r + 1.0) * a2);
        break;
      }
      case Kernel::Matern52: {
        const double r = (d * kSqrt5) / ell;
        k[i] = std::exp(-r) * ((r * r / 3.0 + (r + 1.0)) * a2);
        break;
      }
      case Kernel::Periodic: {
        const double s = std::sin((d * kPi) / p.period) / ell;
        k[i] = a2 * std::exp(s * (s * -2.0));
        break;
      }
    }
  }
  if (count > 0) k[0] = k[0] + p.noise_variance;
  return k;
}

}  // namespace

Status generate_gaussian_process(const GaussianProcessParams& p, uint64_t seed,
                                 std::span<double> out) {
  RandomStream stream(seed);
  const Kernel kernel = kernel_of(p.kernel_id);
  const std::size_t n = out.size();
  if (kernel != Kernel::Periodic) {
    const std::vector<double> c = kernel_values(p, kernel, circulant_size(n) / 2 + 1);
    circulant_sample(c, stream, out);
    for (double& x : out) x = x + p.mean;
    return std::nullopt;
  }
  // The periodic kernel's embedding is not positive semi-definite in
  // general, so it takes the dense factor of the n x n covariance.
  const std::vector<double> k = kernel_values(p, kernel, n);
  Matrix cov(n, n);
  for (std::size_t j = 0; j < n; ++j) {
    double* col = cov.column(j);
    for (std::size_t i = 0; i < n; ++i) col[i] = k[i >= j ? i - j : j - i];
  }
  const Matrix b = covariance_factor(cov);
  cov = Matrix();
  std::vector<double> z(n);
  for (double& zi : z) zi = stream.standard_normal();
  multiply(b, z, out);
  for (double& x : out) x = x + p.mean;
  return std::nullopt;
}

}  // namespace tidemark
