#include "fft/fft.hpp"

#include <bit>
#include <cmath>
#include <cstddef>
#include <utility>

#include "core/internal_failure.hpp"

namespace tidemark {

namespace {

constexpr double kTwoPi = 6.283185307179586;

}  // namespace

void fft_in_place(std::span<std::complex<double>> a, bool inverse) {
  const std::size_t n = a.size();
  if (n < 2 || !std::has_single_bit(n)) {
    internal_failure("fft: the length must be a power of two >= 2");
  }
  // Bit-reversal permutation by a reversed counter.
  for (std::size_t i = 1, j = 0; i < n; ++i) {
    std::size_t bit = n >> 1;
    for (; j & bit; bit >>= 1) j ^= bit;
    j ^= bit;
    if (i < j) std::swap(a[i], a[j]);
  }
  // Products are written out component-wise: std::complex's operator* may
  // take a different road for special values and must not set the bits.
  for (std::size_t len = 2; len <= n; len <<= 1) {
    const double theta = (inverse ? kTwoPi : -kTwoPi) / static_cast<double>(len);
    const double sin_t = std::sin(theta);
    const double cos_t = std::cos(theta);
    const std::size_t half = len / 2;
    for (std::size_t k = 0; k < n; k += len) {
      double wr = 1.0, wi = 0.0;
      for (std::size_t j = 0; j < half; ++j) {
        const std::complex<double> u = a[k + j];
        const std::complex<double> x = a[k + j + half];
        const double tr = wr * x.real() - wi * x.imag();
        const double ti = wr * x.imag() + wi * x.real();
        a[k + j + half] = {u.real() - tr, u.imag() - ti};
        a[k + j] = {u.real() + tr, u.imag() + ti};
        const double next_r = wr * cos_t - wi * sin_t;
        wi = wr * sin_t + wi * cos_t;
        wr = next_r;
      }
    }
  }
  if (inverse) {
    const double scale = 1.0 / static_cast<double>(n);
    for (std::complex<double>& x : a) x = {x.real() * scale, x.imag() * scale};
  }
}

std::vector<std::complex<double>> real_fft(std::span<const double> c) {
  std::vector<std::complex<double>> a(c.size());
  for (std::size_t i = 0; i < c.size(); ++i) a[i] = {c[i], 0.0};
  fft_in_place(a, false);
  return a;
}

}  // namespace tidemark
