#include "fft/real_fft_plan.hpp"

#include <cmath>
#include <numbers>
#include <utility>

namespace tidemark {

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;

std::size_t next_power_of_two(std::size_t m) {
  std::size_t p = 1;
  while (p < m) p <<= 1;
  return p;
}

bool is_power_of_two(std::size_t m) { return m != 0 && (m & (m - 1)) == 0; }

// exp(-2 pi i num / den) for 0 <= num < den: the index is reduced by the
// caller, so the angle stays within one turn and keeps full accuracy.
void unit_root(std::size_t num, std::size_t den, double& re, double& im) {
  const double angle = kTwoPi * (static_cast<double>(num) / static_cast<double>(den));
  re = std::cos(angle);
  im = -std::sin(angle);
}

// In-place iterative radix-2 transform of `size` interleaved complex values
// (size a power of two).  `twiddles` holds exp(-2 pi i j / size) for
// j < size/2; `inverse` uses their conjugates (no scaling).
void radix2(double* a, std::size_t size, const double* twiddles, bool inverse) {
  if (size < 2) return;
  for (std::size_t i = 1, j = 0; i < size; ++i) {  // bit-reversal permutation
    std::size_t bit = size >> 1;
    for (; j & bit; bit >>= 1) j ^= bit;
    j |= bit;
    if (i < j) {
      std::swap(a[2 * i], a[2 * j]);
      std::swap(a[2 * i + 1], a[2 * j + 1]);
    }
  }
  const double sign = inverse ? -1.0 : 1.0;
  for (std::size_t len = 2; len <= size; len <<= 1) {
    const std::size_t half = len >> 1, step = size / len;
    for (std::size_t start = 0; start < size; start += len) {
      double* lo = a + 2 * start;
      double* hi = lo + 2 * half;
      for (std::size_t j = 0; j < half; ++j) {
        const double wr = twiddles[2 * j * step], wi = sign * twiddles[2 * j * step + 1];
        const double vr = hi[2 * j] * wr - hi[2 * j + 1] * wi;
        const double vi = hi[2 * j] * wi + hi[2 * j + 1] * wr;
        const double ur = lo[2 * j], ui = lo[2 * j + 1];
        lo[2 * j] = ur + vr;
        lo[2 * j + 1] = ui + vi;
        hi[2 * j] = ur - vr;
        hi[2 * j + 1] = ui - vi;
      }
    }
  }
}

}  // namespace

void RealFftPlan::ComplexTransform::plan(std::size_t length) {
  m = length;
  bluestein = !is_power_of_two(m) && m > 1;
  fft_size = bluestein ? next_power_of_two(2 * m - 1) : m;
  twiddles.assign(fft_size, 0.0);  // fft_size/2 complex values
  for (std::size_t j = 0; j < fft_size / 2; ++j) {
    unit_root(j, fft_size, twiddles[2 * j], twiddles[2 * j + 1]);
  }
  if (!bluestein) return;

  // chirp_k = exp(-i pi k^2 / m) = exp(-2 pi i (k^2 mod 2m) / 2m); the
  // square is reduced incrementally so it never overflows.
  chirp.assign(2 * m, 0.0);
  const std::size_t period = 2 * m;
  for (std::size_t k = 0, sq = 0; k < m; ++k) {
    unit_root(sq, period, chirp[2 * k], chirp[2 * k + 1]);
    sq += 2 * k + 1;  // (k+1)^2 = k^2 + 2k + 1
    while (sq >= period) sq -= period;
  }
  // The convolution kernel b_k = conj(chirp_|k|) laid out cyclically,
  // transformed once and divided by fft_size, which folds the inverse
  // transform's normalisation into the table.
  filter.assign(2 * fft_size, 0.0);
  for (std::size_t k = 0; k < m; ++k) {
    filter[2 * k] = chirp[2 * k];
    filter[2 * k + 1] = -chirp[2 * k + 1];
    if (k > 0) {
      filter[2 * (fft_size - k)] = chirp[2 * k];
      filter[2 * (fft_size - k) + 1] = -chirp[2 * k + 1];
    }
  }
  radix2(filter.data(), fft_size, twiddles.data(), false);
  const double scale = 1.0 / static_cast<double>(fft_size);
  for (double& v : filter) v *= scale;
}

void RealFftPlan::ComplexTransform::run(double* data, double* scratch) const {
  if (!bluestein) {
    radix2(data, m, twiddles.data(), false);
    return;
  }
  double* a = scratch;
  for (std::size_t k = 0; k < m; ++k) {
    const double xr = data[2 * k], xi = data[2 * k + 1];
    const double cr = chirp[2 * k], ci = chirp[2 * k + 1];
    a[2 * k] = xr * cr - xi * ci;
    a[2 * k + 1] = xr * ci + xi * cr;
  }
  for (std::size_t k = 2 * m; k < 2 * fft_size; ++k) a[k] = 0.0;
  radix2(a, fft_size, twiddles.data(), false);
  for (std::size_t k = 0; k < fft_size; ++k) {
    const double ar = a[2 * k], ai = a[2 * k + 1];
    const double fr = filter[2 * k], fi = filter[2 * k + 1];
    a[2 * k] = ar * fr - ai * fi;
    a[2 * k + 1] = ar * fi + ai * fr;
  }
  radix2(a, fft_size, twiddles.data(), true);
  for (std::size_t k = 0; k < m; ++k) {
    const double yr = a[2 * k], yi = a[2 * k + 1];
    const double cr = chirp[2 * k], ci = chirp[2 * k + 1];
    data[2 * k] = yr * cr - yi * ci;
    data[2 * k + 1] = yr * ci + yi * cr;
  }
}

RealFftPlan::RealFftPlan(std::size_t n) : n_(n) {
  if (n < 2) return;
  const bool even = n % 2 == 0;
  const std::size_t packed = even ? n / 2 : n;
  inner_.plan(packed);
  scratch_size_ = packed + inner_.scratch_doubles() / 2;
  if (even) {
    untangle_.assign(2 * (packed + 1), 0.0);
    for (std::size_t k = 0; k <= packed; ++k) {
      unit_root(k, n, untangle_[2 * k], untangle_[2 * k + 1]);
    }
  }
}

void RealFftPlan::forward(const double* in, std::complex<double>* out,
                          std::complex<double>* scratch) const {
  if (n_ == 0) return;
  if (n_ == 1) {
    out[0] = {in[0], 0.0};
    return;
  }
  // std::complex<double> is layout-compatible with double[2].
  double* buf = reinterpret_cast<double*>(scratch);
  double* inner_scratch = buf + 2 * (n_ % 2 == 0 ? n_ / 2 : n_);
  double* o = reinterpret_cast<double*>(out);

  if (n_ % 2 != 0) {
    for (std::size_t t = 0; t < n_; ++t) {
      buf[2 * t] = in[t];
      buf[2 * t + 1] = 0.0;
    }
    inner_.run(buf, inner_scratch);
    for (std::size_t k = 0; k < output_size(); ++k) {
      o[2 * k] = buf[2 * k];
      o[2 * k + 1] = buf[2 * k + 1];
    }
    return;
  }

  // z_j = x_2j + i x_2j+1; with Z its transform of length h = n/2, the
  // even and odd halves are E_k = (Z_k + conj Z_{h-k}) / 2 and
  // O_k = (Z_k - conj Z_{h-k}) / 2i, and X_k = E_k + exp(-2 pi i k / n) O_k.
  const std::size_t h = n_ / 2;
  for (std::size_t j = 0; j < h; ++j) {
    buf[2 * j] = in[2 * j];
    buf[2 * j + 1] = in[2 * j + 1];
  }
  inner_.run(buf, inner_scratch);
  for (std::size_t k = 0; k <= h; ++k) {
    const std::size_t a = k == h ? 0 : k, b = k == 0 ? 0 : h - k;
    const double zr = buf[2 * a], zi = buf[2 * a + 1];
    const double cr = buf[2 * b], ci = -buf[2 * b + 1];  // conj Z_{h-k}
    const double er = 0.5 * (zr + cr), ei = 0.5 * (zi + ci);
    // (Z - conj) / 2i = (d_i - i d_r) / 2
    const double odr = 0.5 * (zi - ci), odi = -0.5 * (zr - cr);
    const double wr = untangle_[2 * k], wi = untangle_[2 * k + 1];
    o[2 * k] = er + (odr * wr - odi * wi);
    o[2 * k + 1] = ei + (odr * wi + odi * wr);
  }
}

}  // namespace tidemark
