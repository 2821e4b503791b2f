#include "generators/tsi/tsi.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "core/integer_cast.hpp"
#include "core/internal_failure.hpp"
#include "generators/composite.hpp"
#include "rng/innovations.hpp"
#include "rng/random_stream.hpp"

namespace tidemark {
namespace {

constexpr double kTwoPi = 6.283185307179586;

using composite::draw_log_range;
using composite::draw_range;

struct Workspace {
  std::vector<double> trend, seasonal, structural, noise;
  std::vector<double> positions, knot_values;
};

// An entry of a pool: no draw for a single entry.  Pools beyond the signed
// 32-bit range are drawn over their first 2^31 - 1 entries.
double pool_entry(RandomStream& s, const std::vector<double>& pool) {
  if (pool.size() == 1) return pool[0];
  const auto bound = static_cast<int32_t>(
      std::min<std::size_t>(pool.size(), static_cast<std::size_t>(std::numeric_limits<int32_t>::max())));
  return pool[static_cast<std::size_t>(s.sample_int_range(0, bound))];
}

double logistic(double y) { return 1.0 / (1.0 + std::exp(-y)); }

void draw_trend(std::span<const double> s, const std::vector<double>& pool, RandomStream& stream,
                double denominator, Workspace& ws) {
  const int32_t code = saturating_i32(pool_entry(stream, pool));
  const double level = draw_range(stream, s[6], s[7]);
  const double a = draw_range(stream, s[0], s[1]);
  std::vector<double>& trend = ws.trend;
  const std::size_t n = trend.size();
  auto x_at = [denominator](std::size_t i) { return static_cast<double>(i) / denominator; };
  switch (code) {
    case 1:
      for (std::size_t i = 0; i < n; ++i) trend[i] = x_at(i) * a;
      break;
    case 2: {
      double r = draw_range(stream, s[2], s[3]);
      if (stream.uniform01() < 0.5) r = -r;
      const double end = std::exp(r) - 1.0;
      for (std::size_t i = 0; i < n; ++i) trend[i] = (std::exp(r * x_at(i)) - 1.0) * a / end;
      break;
    }
    case 3: {
      const double k = stream.sample_uniform(5.0, 15.0);
      const double m = stream.sample_uniform(0.25, 0.75);
      const double start = logistic(-k * m);
      const double span = logistic(k * (1.0 - m)) - start + 1e-12;
      for (std::size_t i = 0; i < n; ++i) {
        trend[i] = (logistic(k * (x_at(i) - m)) - start) * a / span;
      }
      break;
    }
    case 4: {
      int32_t knots = saturating_i32(s[4]);
      const int32_t knots_hi = saturating_i32(s[5]);
      if (knots < knots_hi) knots = composite::draw_int_inclusive(stream, knots, knots_hi);
      const auto c = static_cast<std::size_t>(std::max<int32_t>(1, knots));
      composite::require_memory(2.0 * (static_cast<double>(c) + 2.0), 8.0);
      ws.positions.resize(c + 2);
      ws.knot_values.resize(c + 2);
      ws.positions[0] = 0.0;
      for (std::size_t j = 1; j <= c; ++j) ws.positions[j] = 0.1 + 0.8 * stream.unit_mantissa();
      std::sort(ws.positions.begin() + 1, ws.positions.begin() + static_cast<std::ptrdiff_t>(c + 1));
      ws.positions[c + 1] = 1.0;
      if (a != 0.0) {
        const double bound = std::fabs(a);
        for (double& v : ws.knot_values) v = stream.sample_uniform(-bound, bound);
      } else {
        std::fill(ws.knot_values.begin(), ws.knot_values.end(), -0.0);
      }
      std::size_t k = 1;
      for (std::size_t i = 0; i < n; ++i) {
        trend[i] = interpolate_knots(ws.positions, ws.knot_values, x_at(i), k);
      }
      break;
    }
    case 5: {
      const double tau = stream.sample_uniform(0.15, 0.5);
      for (std::size_t i = 0; i < n; ++i) trend[i] = (1.0 - std::exp(-x_at(i) / tau)) * a;
      break;
    }
    default:
      std::fill(trend.begin(), trend.end(), 0.0);
      break;
  }
  for (double& v : trend) v = v + level;
}

void draw_seasonality(std::span<const double> s, const std::vector<double>& pool,
                      RandomStream& stream, Workspace& ws) {
  std::vector<double>& seasonal = ws.seasonal;
  std::fill(seasonal.begin(), seasonal.end(), 0.0);
  int32_t count = saturating_i32(s[8]);
  const int32_t count_hi = saturating_i32(s[9]);
  if (count < count_hi) count = composite::draw_int_inclusive(stream, count, count_hi);
  const std::size_t n = seasonal.size();
  const double length = static_cast<double>(n);
  for (int32_t c = 0; c < count; ++c) {
    const double period = pool_entry(stream, pool);
    const double amplitude = draw_log_range(stream, s[10], s[11]);
    const double phase = kTwoPi * stream.unit_mantissa();
    const double u_h = stream.uniform01();
    const double u_m = stream.uniform01();
    const bool modulated = s[12] > u_m;
    double w = 0.0, y = 0.0, psi = 0.0;
    if (modulated) {
      w = 0.3 + 1.2 * stream.unit_mantissa();
      y = 0.3 + 0.5 * stream.unit_mantissa();
      psi = kTwoPi * stream.unit_mantissa();
    }
    const bool harmonic = u_h < s[13];
    for (std::size_t i = 0; i < n; ++i) {
      const double theta = kTwoPi * static_cast<double>(i) / period + phase;
      double value = harmonic ? amplitude * (std::sin(theta) + 0.4 * std::sin(2.0 * theta) +
                                             0.2 * std::sin(3.0 * theta))
                              : amplitude * std::sin(theta);
      if (modulated) {
        value = value * (1.0 + y * std::sin(kTwoPi * static_cast<double>(i) / (w * length) + psi));
      }
      seasonal[i] = seasonal[i] + value;
    }
  }
}

// Returns the population standard deviation of the structural part.
double combine(std::span<const double> s, RandomStream& stream, Workspace& ws) {
  const std::vector<double>& trend = ws.trend;
  const std::vector<double>& seasonal = ws.seasonal;
  std::vector<double>& structural = ws.structural;
  const std::size_t n = trend.size();
  const bool flat = std::all_of(seasonal.begin(), seasonal.end(), [](double v) { return v == 0.0; });
  if (!flat && s[20] > stream.uniform01()) {
    double lo = trend[0], trend_peak = std::fabs(trend[0]), seasonal_peak = std::fabs(seasonal[0]);
    for (std::size_t i = 1; i < n; ++i) {
      lo = std::min(lo, trend[i]);
      trend_peak = std::max(trend_peak, std::fabs(trend[i]));
      seasonal_peak = std::max(seasonal_peak, std::fabs(seasonal[i]));
    }
    const double shift = lo <= 0.0 ? 0.1 * (trend_peak + 1.0) - lo : 0.0;
    const double divisor = std::max(1.25 * seasonal_peak, 1.0);
    for (std::size_t i = 0; i < n; ++i) {
      structural[i] = (1.0 + seasonal[i] / divisor) * (trend[i] + shift);
    }
  } else {
    for (std::size_t i = 0; i < n; ++i) structural[i] = trend[i] + seasonal[i];
  }
  return n == 1 ? 0.0 : composite::population_moments(structural).sd;
}

// Fills the noise buffer; false when the drawn scale cannot drive the noise
// (a non-finite Gaussian or AR(1) scale, a NaN Laplace scale): the attempt
// is abandoned where its first shock would have been drawn.
bool draw_irregular(std::span<const double> s, const std::vector<double>& pool, double sd,
                    RandomStream& stream, Workspace& ws) {
  std::vector<double>& noise = ws.noise;
  const double ratio = draw_log_range(stream, s[14], s[15]);
  const int32_t code = saturating_i32(pool_entry(stream, pool));
  const double sigma = (sd < 1e-9 ? 1.0 : sd) * ratio;
  if (sigma <= 0.0) {
    std::fill(noise.begin(), noise.end(), 0.0);
    return true;
  }
  const std::size_t n = noise.size();
  switch (code) {
    case 1: {
      const double phi = draw_range(stream, s[16], s[17]);
      if (!std::isfinite(sigma)) return false;
      const double innovation_scale = sigma * std::sqrt(std::max(1.0 - phi * phi, 0.0));
      noise[0] = sigma * stream.standard_normal();
      for (std::size_t i = 1; i < n; ++i) {
        noise[i] = phi * noise[i - 1] + innovation_scale * stream.standard_normal();
      }
      return true;
    }
    case 2: {
      double alpha = stream.sample_uniform(0.05, 0.25);
      double beta = stream.sample_uniform(0.5, 0.9);
      if (alpha + beta > 0.98) {
        const double shrink = 0.98 / (alpha + beta);
        alpha = alpha * shrink;
        beta = beta * shrink;
      }
      const double variance = sigma * sigma;
      const double omega = (1.0 - alpha - beta) * variance;
      double h = variance;
      for (double& e : noise) {
        e = stream.standard_normal() * std::sqrt(h);
        h = beta * h + (alpha * (e * e) + omega);
      }
      return true;
    }
    case 3: {
      const double dof = draw_range(stream, s[18], s[19]);
      fill_innovations(stream, InnovationSpec{1, dof}, sigma, noise);
      return true;
    }
    case 4: {
      if (std::isnan(sigma)) return false;
      fill_innovations(stream, InnovationSpec{2, 0.0}, sigma, noise);
      return true;
    }
    default: {
      if (!std::isfinite(sigma)) return false;
      for (double& e : noise) e = sigma * stream.standard_normal();
      return true;
    }
  }
}

}  // namespace

double interpolate_knots(std::span<const double> positions, std::span<const double> knot_values,
                         double x, std::size_t& k) {
  const std::size_t last = positions.size() - 1;
  while (k < last && !(x <= positions[k])) ++k;
  const double p0 = positions[k - 1], p1 = positions[k];
  if (!(p0 < p1)) return knot_values[k - 1];
  const double v0 = knot_values[k - 1], v1 = knot_values[k];
  return v0 + (v1 - v0) * ((x - p0) / (p1 - p0));
}

void generate_tsi(std::span<double> values, std::span<const double> s,
                  std::span<const std::vector<double>> arrays, uint64_t seed) {
  const std::size_t n = values.size();
  if (n == 0) return;
  const std::vector<double>& trend_pool = arrays[0];
  const std::vector<double>& period_pool = arrays[1];
  const std::vector<double>& irregular_pool = arrays[2];
  if (trend_pool.empty()) internal_failure("tsi: trend type pool is empty");
  if (period_pool.empty()) internal_failure("tsi: seasonal period pool is empty");
  if (irregular_pool.empty()) internal_failure("tsi: irregular type pool is empty");

  RandomStream stream(seed);
  Workspace ws;
  ws.trend.resize(n);
  ws.seasonal.resize(n);
  ws.structural.resize(n);
  ws.noise.resize(n);
  const double denominator = n >= 2 ? static_cast<double>(n - 1) : 1.0;
  for (int a = 1; a <= kTsiAttempts; ++a) {
    draw_trend(s, trend_pool, stream, denominator, ws);
    draw_seasonality(s, period_pool, stream, ws);
    const double sd = combine(s, stream, ws);
    if (!draw_irregular(s, irregular_pool, sd, stream, ws)) continue;
    const double scale = draw_log_range(stream, s[21], s[22]);
    for (std::size_t i = 0; i < n; ++i) values[i] = (ws.structural[i] + ws.noise[i]) * scale;
    if (!composite::finite_and_bounded(values)) continue;
    if (n < 2 || composite::population_moments(values).sd > composite::kMinSpread) return;
  }
  for (double& v : values) v = stream.standard_normal();
}

}  // namespace tidemark
