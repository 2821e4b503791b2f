#include "augmentation/features.hpp"

#include <algorithm>
#include <cmath>
#include <complex>
#include <limits>
#include <memory>
#include <numeric>
#include <string>

#include "augmentation/fft_plan_cache.hpp"
#include "batch/worker_pool.hpp"

namespace tidemark {

namespace {

constexpr double kEps = 2.220446049250313e-16;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Plain left-to-right sums from -0.0, so that results are reproducible bit
// for bit; y(i) yields the i-th value of a sequence of m values.
template <class Y>
double mean_of(std::size_t m, const Y& y) {
  double s = -0.0;
  for (std::size_t i = 0; i < m; ++i) s += y(i);
  return s / static_cast<double>(m);
}

// Population variance: mean squared deviation from the mean.
template <class Y>
double pvar_of(std::size_t m, const Y& y) {
  const double mu = mean_of(m, y);
  double s = -0.0;
  for (std::size_t i = 0; i < m; ++i) {
    const double e = y(i) - mu;
    s += e * e;
  }
  return s / static_cast<double>(m);
}

double pvar(std::span<const double> y) {
  return pvar_of(y.size(), [&](std::size_t i) { return y[i]; });
}

// max(0, v), then min(1, v).  A NaN, which only values whose squares
// overflow produce, stays NaN rather than passing for a confident 0.
double clamp01(double v) { return std::isnan(v) ? v : std::min(1.0, std::max(0.0, v)); }

// Autocorrelations of y as ratios of sums: at lag k, the lagged products
// of deviations from the mean over their sum of squares; 0 for a (nearly)
// constant y, NaN when the lag reaches past the end.
class Autocorrelation {
 public:
  explicit Autocorrelation(std::span<const double> y) : deviations_(y.size()) {
    const double mu = mean_of(y.size(), [&](std::size_t i) { return y[i]; });
    double s = -0.0;
    for (std::size_t i = 0; i < y.size(); ++i) {
      deviations_[i] = y[i] - mu;
      s += deviations_[i] * deviations_[i];
    }
    s_ = s;
  }

  double at(uint64_t k) const {
    const std::size_t m = deviations_.size();
    if (k >= m) return kNaN;
    if (s_ <= kEps) return 0.0;
    const double* e = deviations_.data();
    double c = -0.0;
    for (std::size_t t = 0; t + k < m; ++t) c += e[t + k] * e[t];
    return c / s_;
  }

  // Lags 1 ... K at once (K < m): the K sums are independent, so one pass
  // runs them side by side; each still adds its terms in increasing t.
  template <std::size_t K>
  std::array<double, K> first_lags() const {
    const std::size_t m = deviations_.size();
    const double* e = deviations_.data();
    std::array<double, K> c;
    c.fill(-0.0);
    std::size_t t = 0;
    for (; t + K < m; ++t) {
      for (std::size_t k = 0; k < K; ++k) c[k] += e[t + k + 1] * e[t];
    }
    for (; t + 1 < m; ++t) {
      for (std::size_t k = 0; t + k + 1 < m; ++k) c[k] += e[t + k + 1] * e[t];
    }
    for (double& v : c) v = s_ <= kEps ? 0.0 : v / s_;
    return c;
  }

 private:
  std::vector<double> deviations_;
  double s_;
};

// Normalised Shannon entropy of the periodogram (zero frequency left out).
double spectral_entropy(std::span<const double> x) {
  const std::size_t n = x.size();
  if (n < 4) return 0.0;
  const double mu = mean_of(n, [&](std::size_t i) { return x[i]; });
  std::vector<double> d(n);
  for (std::size_t t = 0; t < n; ++t) d[t] = x[t] - mu;
  if (pvar(d) <= kEps) return 0.0;

  const std::shared_ptr<const RealFftPlan> plan = FftPlanCache::shared().plan(n);
  std::vector<std::complex<double>> spectrum(plan->output_size());
  std::vector<std::complex<double>> scratch(plan->scratch_size());
  plan->forward(d.data(), spectrum.data(), scratch.data());

  const std::size_t half = n / 2;
  std::vector<double> power(half + 1);
  double total = -0.0;
  for (std::size_t k = 1; k <= half; ++k) {
    const double re = spectrum[k].real(), im = spectrum[k].imag();
    power[k] = re * re + im * im;
    total += power[k];
  }
  if (total <= kEps) return 0.0;
  double h = -0.0;
  for (std::size_t k = 1; k <= half; ++k) {
    if (power[k] > 0.0) {
      const double q = power[k] / total;
      h = h - std::log(q) * q;
    }
  }
  return clamp01(h / std::log(static_cast<double>(half)));
}

// 1 - pvar(R) / pvar(C + R), clamped to [0, 1]; 0 when C + R is (nearly)
// constant.
double strength(const std::vector<double>& component, const std::vector<double>& residual) {
  const std::size_t n = residual.size();
  const double combined =
      pvar_of(n, [&](std::size_t t) { return component[t] + residual[t]; });
  if (combined <= kEps) return 0.0;
  return clamp01(1.0 - pvar(residual) / combined);
}

// Lag-1 autocorrelation with the variance as denominator; differs from
// Autocorrelation::at(1) in its exact-zero test and rounding.
double lag1_autocorrelation(std::span<const double> x) {
  const std::size_t n = x.size();
  const double mu = mean_of(n, [&](std::size_t i) { return x[i]; });
  const double v = pvar(x);
  if (v == 0.0) return 0.0;
  double c = -0.0;
  for (std::size_t t = 0; t + 1 < n; ++t) c += (x[t] - mu) * (x[t + 1] - mu);
  return c / static_cast<double>(n) / v;
}

// z_i = (x_i / max|x| - mean) / sd; all zeros for a constant series.
std::vector<double> z_normalised(std::span<const double> x) {
  const std::size_t n = x.size();
  std::vector<double> z(n, 0.0);
  double m = 0.0;
  for (double v : x) m = std::max(m, std::fabs(v));
  if (m == 0.0) return z;
  for (std::size_t i = 0; i < n; ++i) z[i] = x[i] / m;
  const double mu = mean_of(n, [&](std::size_t i) { return z[i]; });
  const double v = pvar(z);
  if (v == 0.0) {
    std::fill(z.begin(), z.end(), 0.0);
    return z;
  }
  const double sd = std::sqrt(v);
  for (double& u : z) u = (u - mu) / sd;
  return z;
}

// Variance of the leave-one-out variances of the residual.
double spikiness(const std::vector<double>& residual) {
  const std::size_t n = residual.size();
  const double nd = static_cast<double>(n), nm1 = static_cast<double>(n - 1);
  const double rbar = mean_of(n, [&](std::size_t t) { return residual[t]; });
  double u = -0.0;
  for (double r : residual) u += (r - rbar) * (r - rbar);
  const double ratio = nd / nm1;
  return pvar_of(n, [&](std::size_t t) {
    const double e = residual[t] - rbar;
    return std::max(0.0, (u - ratio * (e * e)) / nm1);
  });
}

// Variance of the variances of the floor(n/w) whole tiles of w values.
double lumpiness(std::span<const double> z, std::size_t w) {
  const std::size_t tiles = z.size() / w;
  std::vector<double> variances(tiles);
  for (std::size_t j = 0; j < tiles; ++j) variances[j] = pvar(z.subspan(j * w, w));
  return pvar(variances);
}

// Largest changes of the rolling mean and variance between windows w apart.
void level_and_variance_shifts(std::span<const double> z, std::size_t w, double& level,
                               double& variance) {
  const std::size_t n = z.size(), windows = n - w + 1;
  const double wd = static_cast<double>(w);
  std::vector<double> means(windows), vars(windows);
  double s = -0.0, q = -0.0;
  for (std::size_t i = 0; i < w; ++i) {
    s += z[i];
    q += z[i] * z[i];
  }
  for (std::size_t i = 0;; ++i) {
    const double m = s / wd;
    means[i] = m;
    vars[i] = std::max(0.0, q / wd - m * m);
    if (i + 1 == windows) break;
    s = s + (z[i + w] - z[i]);
    q = q + (z[i + w] * z[i + w] - z[i] * z[i]);
  }
  level = 0.0;
  variance = 0.0;
  for (std::size_t i = 0; i + w < windows; ++i) {  // i = 0 ... n - 2w
    const double dl = std::fabs(means[i + w] - means[i]);
    const double dv = std::fabs(vars[i + w] - vars[i]);
    if (dl > level) level = dl;  // a NaN difference never compares greater
    if (dv > variance) variance = dv;
  }
}

// How often consecutive values fall on different sides of the median.
double crossing_points(std::span<const double> z) {
  const std::size_t n = z.size();
  std::vector<double> sorted(z.begin(), z.end());
  const auto mid = sorted.begin() + static_cast<std::ptrdiff_t>(n / 2);
  std::nth_element(sorted.begin(), mid, sorted.end());
  double median = *mid;
  if (n % 2 == 0) {
    const double lower = *std::max_element(sorted.begin(), mid);
    median = (*mid + lower) * 0.5;
  }
  std::size_t crossings = 0;
  for (std::size_t t = 0; t + 1 < n; ++t) {
    crossings += (z[t] <= median) != (z[t + 1] <= median);
  }
  return static_cast<double>(crossings);
}

}  // namespace

BasicFeatures basic_features(std::span<const double> x, std::optional<uint64_t> period,
                             const Decomposition& d) {
  const std::size_t n = x.size();
  BasicFeatures f{};
  f.spectral_entropy = spectral_entropy(x);
  f.trend_strength = strength(d.trend, d.residual);
  const bool all_zero =
      std::all_of(d.seasonal.begin(), d.seasonal.end(), [](double s) { return s == 0.0; });
  f.seasonal_strength =
      (!period || *period > n / 2 || all_zero) ? 0.0 : strength(d.seasonal, d.residual);
  f.acf1 = lag1_autocorrelation(x);
  return f;
}

Result<BasicFeatures> features_core(std::span<const double> values,
                                    std::optional<uint64_t> period) {
  Result<Decomposition> d = classical_decomposition(values, period);
  if (!d.ok()) return d.error();
  return basic_features(values, period, d.value());
}

Result<FeatureVector> feature_vector(std::span<const double> values,
                                     std::optional<uint64_t> period,
                                     std::optional<uint64_t> window) {
  const std::size_t n = values.size();
  if (n == 0 || !std::all_of(values.begin(), values.end(),
                             [](double v) { return std::isfinite(v); })) {
    return ParamError{"values must be non-empty and finite"};
  }
  if (period && *period < 2) return ParamError{"period must be >= 2 when provided"};
  if (window && *window < 2) return ParamError{"window_size must be >= 2 when provided"};
  FeatureVector out;
  out.fill(kNaN);
  if (n <= 2) return out;

  const std::vector<double> z = z_normalised(values);
  Result<Decomposition> decomposed = classical_decomposition(z, period);
  if (!decomposed.ok()) return decomposed.error();
  const Decomposition& d = decomposed.value();
  const bool period_too_long = period && *period > n / 2;

  const BasicFeatures basic = basic_features(z, period, d);
  out[0] = basic.spectral_entropy;
  out[1] = period_too_long ? kNaN : basic.trend_strength;
  out[2] = period_too_long ? kNaN : basic.seasonal_strength;
  out[3] = basic.acf1;

  const Autocorrelation acf(z);
  if (n >= 11) {
    double sum = -0.0;
    for (double r : acf.first_lags<10>()) sum += r * r;
    out[4] = sum;
  }
  std::vector<double> diff(n - 1);
  for (std::size_t t = 0; t + 1 < n; ++t) diff[t] = z[t + 1] - z[t];
  out[5] = Autocorrelation(diff).at(1);
  out[6] = period ? acf.at(*period) : 0.0;
  if (!period_too_long) out[7] = spikiness(d.residual);

  const uint64_t w = window ? *window : period ? *period : 10;
  if (w <= n / 2) {
    const auto ws = static_cast<std::size_t>(w);
    out[8] = lumpiness(z, ws);
    level_and_variance_shifts(z, ws, out[9], out[10]);
  }
  out[11] = crossing_points(z);
  return out;
}

std::variant<std::vector<double>, LoopFailure> feature_batch(
    std::span<const double> values, std::span<const int64_t> offsets,
    std::optional<uint64_t> period, std::optional<uint64_t> window, std::size_t n_workers) {
  std::string pool_error;
  // The pool is chosen before the offsets are checked, so a pool that cannot
  // be built is the failure reported.  The loop below acquires it again: the
  // same pool, kept alive here, unless another call replaced the cached one.
  const std::shared_ptr<WorkerPool> pool = acquire_pool(n_workers, pool_error);
  if (!pool) return PoolError{std::move(pool_error)};

  bool valid = offsets.size() >= 2 && offsets.front() == 0 &&
               static_cast<uint64_t>(offsets.back()) == values.size();
  for (std::size_t i = 1; valid && i < offsets.size(); ++i) valid = offsets[i - 1] < offsets[i];
  if (!valid) return ParamError{"offsets must increase strictly from 0 to len(values)"};

  const std::size_t n_series = offsets.size() - 1;
  auto length = [&](std::size_t i) { return offsets[i + 1] - offsets[i]; };
  std::vector<std::size_t> order(n_series);
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return length(a) < length(b); });

  std::vector<double> rows(n_series * kFeatureCount, 0.0);
  auto failure = parallel_for(n_workers, n_series, [&](std::size_t position) -> Status {
    const std::size_t i = order[position];
    const auto series = values.subspan(static_cast<std::size_t>(offsets[i]),
                                       static_cast<std::size_t>(length(i)));
    Result<FeatureVector> f = feature_vector(series, period, window);
    if (!f.ok()) return f.error();
    std::copy(f.value().begin(), f.value().end(), rows.begin() + static_cast<std::ptrdiff_t>(i * kFeatureCount));
    return std::nullopt;
  });
  if (failure) return std::move(*failure);
  return rows;
}

}  // namespace tidemark
