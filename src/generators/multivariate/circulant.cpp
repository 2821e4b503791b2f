#include "generators/multivariate/circulant.hpp"

#include <bit>
#include <cmath>
#include <complex>
#include <cstdint>
#include <limits>
#include <vector>

#include "core/internal_failure.hpp"
#include "fft/fft.hpp"

namespace tidemark {

std::size_t circulant_size(std::size_t n) {
  if (n < 2) return 2;
  if (n > (std::numeric_limits<std::size_t>::max() >> 2)) {
    internal_failure("circulant embedding: the series is too long");
  }
  return std::bit_ceil(n) * 2;
}

void circulant_sample(std::span<const double> c, RandomStream& stream, std::span<double> out) {
  const std::size_t m = circulant_size(out.size());
  const std::size_t half = m / 2;
  if (c.size() != half + 1) internal_failure("circulant embedding: wrong number of covariances");

  std::vector<double> row(m);
  for (std::size_t d = 0; d <= half; ++d) row[d] = c[d];
  for (std::size_t d = 1; d < half; ++d) row[m - d] = row[d];
  std::vector<std::complex<double>> lambda = real_fft(row);
  row = std::vector<double>();
  // A negative eigenvalue means the embedding is not quite positive
  // semi-definite; it is dropped rather than refused.
  std::vector<double> eig(m);
  for (std::size_t j = 0; j < m; ++j) {
    const double re = lambda[j].real();
    eig[j] = re < 0.0 ? 0.0 : re;
  }
  std::vector<std::complex<double>>& w = lambda;
  w[0] = {std::sqrt(eig[0]) * stream.standard_normal(), 0.0};
  w[half] = {std::sqrt(eig[half]) * stream.standard_normal(), 0.0};
  for (std::size_t j = 1; j < half; ++j) {
    const double z1 = stream.standard_normal();
    const double z2 = stream.standard_normal();
    const double s = std::sqrt(eig[j] * 0.5);
    w[j] = {z1 * s, z2 * s};
    w[m - j] = {z1 * s, -(z2 * s)};
  }
  fft_in_place(w, true);
  const double root_m = std::sqrt(static_cast<double>(m));
  for (std::size_t i = 0; i < out.size(); ++i) out[i] = w[i].real() * root_m;
}

}  // namespace tidemark
