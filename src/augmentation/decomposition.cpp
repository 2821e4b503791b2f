#include "augmentation/decomposition.hpp"

#include <cmath>

namespace tidemark {

namespace {

// Kahan summation: the running sum of the moving average stays accurate
// however many windows it slides over.
struct CompensatedSum {
  double s = 0.0;
  double c = 0.0;
  void add(double y) {
    const double y2 = y - c;
    const double t = s + y2;
    c = (t - s) - y2;
    s = t;
  }
};

bool seasonal_mode(std::size_t n, std::optional<uint64_t> period) {
  return period && *period <= n / 2;
}

// Centred moving averages written straight into the trend, whose ends then
// repeat the first and last averages.
template <bool EvenPeriod>
void moving_average_trend(std::span<const double> x, std::size_t w, std::vector<double>& trend) {
  const std::size_t n = x.size();
  const double f = x[0];  // values are shifted by the first one before summing
  const double d = static_cast<double>(EvenPeriod ? w - 1 : w);
  const std::size_t r = (w - 1) / 2;
  CompensatedSum sum;
  for (std::size_t i = 0; i < w; ++i) sum.add(x[i] - f);
  for (std::size_t k = 0;; ++k) {
    const double h = EvenPeriod ? (x[k + w - 1] - f) * 0.5 + (x[k] - f) * 0.5 : 0.0;
    trend[k + r] = (sum.s - h) / d + f;
    if (k == n - w) break;
    sum.add(-(x[k] - f));
    sum.add(x[k + w] - f);
  }
  for (std::size_t t = 0; t < r; ++t) trend[t] = trend[r];
  for (std::size_t t = n - r; t < n; ++t) trend[t] = trend[n - 1 - r];
}

// Phase means of the detrended values, centred so that they sum to zero
// (up to rounding), repeated over the series; the residual is written in
// the same pass.
void seasonal_and_residual(std::span<const double> x, const std::vector<double>& trend,
                           std::size_t p, std::vector<double>& seasonal,
                           std::vector<double>& residual) {
  const std::size_t n = x.size();
  std::vector<double> phase(p, 0.0);
  // One pass in increasing t: each phase still sums its values in order.
  for (std::size_t t = 0, j = 0; t < n; ++t) {
    phase[j] += x[t] - trend[t];
    if (++j == p) j = 0;
  }
  double total = -0.0;
  for (std::size_t j = 0; j < p; ++j) {
    const std::size_t count = (n - j + p - 1) / p;
    phase[j] = phase[j] / static_cast<double>(count);
    total += phase[j];
  }
  const double centre = total / static_cast<double>(p);
  for (double& a : phase) a = a - centre;
  for (std::size_t t = 0, j = 0; t < n; ++t) {
    seasonal[t] = phase[j];
    residual[t] = (x[t] - trend[t]) - phase[j];
    if (++j == p) j = 0;
  }
}

}  // namespace

Status check_decomposition_input(std::span<const double> values,
                                 std::optional<uint64_t> period) {
  if (values.size() < 3) return param_error("values must contain at least 3 observations");
  for (double v : values) {
    if (!std::isfinite(v)) return param_error("values must contain only finite observations");
  }
  if (period && *period < 2) return param_error("period must be >= 2 when provided");
  return std::nullopt;
}

std::size_t moving_average_window(std::size_t n, std::optional<uint64_t> period) {
  std::size_t w;
  if (seasonal_mode(n, period)) {
    w = static_cast<std::size_t>(*period) | 1u;
  } else {
    w = (n / 10) | 1u;
    if (w < 5) w = 3;
  }
  if (w > n) w = (n % 2 == 1) ? n : n - 1;
  return w;
}

Result<Decomposition> classical_decomposition(std::span<const double> values,
                                              std::optional<uint64_t> period) {
  if (Status refusal = check_decomposition_input(values, period)) return std::move(*refusal);
  const std::size_t n = values.size();
  const bool seasonal = seasonal_mode(n, period);
  const std::size_t w = moving_average_window(n, period);
  const bool even_period = seasonal && *period % 2 == 0;

  Decomposition out;
  out.trend.assign(n, 0.0);
  out.seasonal.assign(n, 0.0);
  out.residual.assign(n, 0.0);
  if (even_period) {
    moving_average_trend<true>(values, w, out.trend);
  } else {
    moving_average_trend<false>(values, w, out.trend);
  }
  if (seasonal) {
    seasonal_and_residual(values, out.trend, static_cast<std::size_t>(*period), out.seasonal,
                          out.residual);
  } else {
    // (x - trend) - 0.0 is x - trend, bit for bit.
    for (std::size_t t = 0; t < n; ++t) out.residual[t] = values[t] - out.trend[t];
  }
  return out;
}

}  // namespace tidemark
