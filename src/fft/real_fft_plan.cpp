#include "fft/real_fft_plan.hpp"

#include <algorithm>
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

// Primes up to this size are transformed directly by a generic radix; a
// length with a larger prime factor goes through Bluestein's algorithm.
constexpr std::size_t kMaxDirectPrime = 31;

// exp(-2 pi i num / den) for 0 <= num < den: the index is reduced by the
// caller, so the angle stays within one turn and keeps full accuracy.
void unit_root(std::size_t num, std::size_t den, double& re, double& im) {
  const double angle = kTwoPi * (static_cast<double>(num) / static_cast<double>(den));
  re = std::cos(angle);
  im = -std::sin(angle);
}

// Radices of m for the Stockham stages (4s first, then 2, 3, 5, 7, ...);
// empty when m has a prime factor above kMaxDirectPrime.
std::vector<std::size_t> small_factors(std::size_t m) {
  std::vector<std::size_t> factors;
  while (m % 4 == 0) {
    factors.push_back(4);
    m /= 4;
  }
  for (std::size_t p = 2; m > 1 && p <= kMaxDirectPrime; ++p) {
    while (m % p == 0) {
      factors.push_back(p);
      m /= p;
    }
  }
  if (m > 1) factors.clear();
  return factors;
}

}  // namespace

void RealFftPlan::ComplexTransform::plan(std::size_t length) {
  m = length;
  factors = small_factors(m);
  bluestein = m > 1 && factors.empty();
  fft_size = bluestein ? next_power_of_two(2 * m - 1) : m;
  if (bluestein) factors = small_factors(fft_size);
  roots.assign(2 * fft_size, 0.0);
  for (std::size_t j = 0; j < fft_size; ++j) unit_root(j, fft_size, roots[2 * j], roots[2 * j + 1]);
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
  std::vector<double> work(2 * fft_size);
  stockham(filter.data(), work.data());
  const double scale = 1.0 / static_cast<double>(fft_size);
  for (double& v : filter) v *= scale;
}

namespace {

// The p-point forward DFT of (ar, ai) into (br, bi).
template <std::size_t P>
inline void small_dft(const double* ar, const double* ai, double* br, double* bi) {
  if constexpr (P == 2) {
    br[0] = ar[0] + ar[1], bi[0] = ai[0] + ai[1];
    br[1] = ar[0] - ar[1], bi[1] = ai[0] - ai[1];
  } else if constexpr (P == 3) {
    constexpr double kSin60 = 0.86602540378443864676;
    const double tr = ar[1] + ar[2], ti = ai[1] + ai[2];
    const double dr = ar[1] - ar[2], di = ai[1] - ai[2];
    const double cr = ar[0] - 0.5 * tr, ci = ai[0] - 0.5 * ti;
    br[0] = ar[0] + tr, bi[0] = ai[0] + ti;
    br[1] = cr + kSin60 * di, bi[1] = ci - kSin60 * dr;
    br[2] = cr - kSin60 * di, bi[2] = ci + kSin60 * dr;
  } else if constexpr (P == 4) {
    const double t0r = ar[0] + ar[2], t0i = ai[0] + ai[2];
    const double t1r = ar[0] - ar[2], t1i = ai[0] - ai[2];
    const double t2r = ar[1] + ar[3], t2i = ai[1] + ai[3];
    const double t3r = ar[1] - ar[3], t3i = ai[1] - ai[3];
    br[0] = t0r + t2r, bi[0] = t0i + t2i;
    br[2] = t0r - t2r, bi[2] = t0i - t2i;
    br[1] = t1r + t3i, bi[1] = t1i - t3r;  // t1 - i t3
    br[3] = t1r - t3i, bi[3] = t1i + t3r;  // t1 + i t3
  } else {
    static_assert(P == 5);
    constexpr double kC1 = 0.30901699437494742410, kC2 = -0.80901699437494742410;
    constexpr double kS1 = 0.95105651629515357212, kS2 = 0.58778525229247312917;
    const double s1r = ar[1] + ar[4], s1i = ai[1] + ai[4], d1r = ar[1] - ar[4], d1i = ai[1] - ai[4];
    const double s2r = ar[2] + ar[3], s2i = ai[2] + ai[3], d2r = ar[2] - ar[3], d2i = ai[2] - ai[3];
    const double c1r = ar[0] + kC1 * s1r + kC2 * s2r, c1i = ai[0] + kC1 * s1i + kC2 * s2i;
    const double c2r = ar[0] + kC2 * s1r + kC1 * s2r, c2i = ai[0] + kC2 * s1i + kC1 * s2i;
    const double e1r = kS1 * d1r + kS2 * d2r, e1i = kS1 * d1i + kS2 * d2i;
    const double e2r = kS2 * d1r - kS1 * d2r, e2i = kS2 * d1i - kS1 * d2i;
    br[0] = ar[0] + s1r + s2r, bi[0] = ai[0] + s1i + s2i;
    br[1] = c1r + e1i, bi[1] = c1i - e1r;  // c1 - i e1
    br[4] = c1r - e1i, bi[4] = c1i + e1r;
    br[2] = c2r + e2i, bi[2] = c2i - e2r;  // c2 - i e2
    br[3] = c2r - e2i, bi[3] = c2i + e2r;
  }
}

// One self-sorting decimation-in-frequency stage of radix p over n points
// at stride s: reads src[r + s(q + mj)] (m = n / (sp)), writes their p-point
// DFT, the k-th output times exp(-2 pi i qks / n), to dst[r + s(pq + k)].
// P = 0 is the generic radix, with (p, the p-th roots) at run time.
template <std::size_t P>
void stockham_stage(const double* __restrict src, double* __restrict dst, std::size_t n,
                    std::size_t s, std::size_t p, const double* __restrict roots) {
  constexpr std::size_t kCap = P == 0 ? kMaxDirectPrime : P;
  const std::size_t radix = P == 0 ? p : P;
  const std::size_t sub = n / (s * radix);
  const std::size_t root_step = n / radix;
  double ar[kCap], ai[kCap], br[kCap], bi[kCap], twr[kCap], twi[kCap];
  for (std::size_t q = 0; q < sub; ++q) {
    for (std::size_t k = 1; k < radix; ++k) {  // shared by every r of this q
      const std::size_t e = q * k * s;         // < n
      twr[k] = roots[2 * e];
      twi[k] = roots[2 * e + 1];
    }
    const double* in = src + 2 * s * q;
    double* out = dst + 2 * s * radix * q;
    for (std::size_t r = 0; r < s; ++r) {
      for (std::size_t j = 0; j < radix; ++j) {
        ar[j] = in[2 * (r + s * sub * j)];
        ai[j] = in[2 * (r + s * sub * j) + 1];
      }
      if constexpr (P != 0) {
        small_dft<P>(ar, ai, br, bi);
      } else {
        for (std::size_t k = 0; k < radix; ++k) {
          double sr = ar[0], si = ai[0];
          for (std::size_t j = 1, e = k; j < radix; ++j) {
            const double wr = roots[2 * e * root_step], wi = roots[2 * e * root_step + 1];
            sr += ar[j] * wr - ai[j] * wi;
            si += ar[j] * wi + ai[j] * wr;
            e += k;
            if (e >= radix) e -= radix;
          }
          br[k] = sr;
          bi[k] = si;
        }
      }
      out[2 * r] = br[0];
      out[2 * r + 1] = bi[0];
      for (std::size_t k = 1; k < radix; ++k) {
        out[2 * (r + s * k)] = br[k] * twr[k] - bi[k] * twi[k];
        out[2 * (r + s * k) + 1] = br[k] * twi[k] + bi[k] * twr[k];
      }
    }
  }
}

}  // namespace

void RealFftPlan::ComplexTransform::stockham(double* x, double* y) const {
  const std::size_t n = fft_size;
  const double* root_table = roots.data();
  double* src = x;
  double* dst = y;
  std::size_t s = 1;
  for (std::size_t p : factors) {
    switch (p) {
      case 2: stockham_stage<2>(src, dst, n, s, p, root_table); break;
      case 3: stockham_stage<3>(src, dst, n, s, p, root_table); break;
      case 4: stockham_stage<4>(src, dst, n, s, p, root_table); break;
      case 5: stockham_stage<5>(src, dst, n, s, p, root_table); break;
      default: stockham_stage<0>(src, dst, n, s, p, root_table); break;
    }
    std::swap(src, dst);
    s *= p;
  }
  if (src != x) std::copy(src, src + 2 * n, x);
}

void RealFftPlan::ComplexTransform::run(double* data, double* scratch) const {
  if (!bluestein) {
    stockham(data, scratch);
    return;
  }
  double* a = scratch;
  double* work = scratch + 2 * fft_size;
  for (std::size_t k = 0; k < m; ++k) {
    const double xr = data[2 * k], xi = data[2 * k + 1];
    const double cr = chirp[2 * k], ci = chirp[2 * k + 1];
    a[2 * k] = xr * cr - xi * ci;
    a[2 * k + 1] = xr * ci + xi * cr;
  }
  std::fill(a + 2 * m, a + 2 * fft_size, 0.0);
  stockham(a, work);
  // Multiply by the filter and conjugate: the forward transform of the
  // conjugate, conjugated again, is the inverse transform.
  for (std::size_t k = 0; k < fft_size; ++k) {
    const double ar = a[2 * k], ai = a[2 * k + 1];
    const double fr = filter[2 * k], fi = filter[2 * k + 1];
    a[2 * k] = ar * fr - ai * fi;
    a[2 * k + 1] = -(ar * fi + ai * fr);
  }
  stockham(a, work);
  for (std::size_t k = 0; k < m; ++k) {
    const double yr = a[2 * k], yi = -a[2 * k + 1];
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
