#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

#include "core/internal_failure.hpp"
#include "generators/statistical/statistical.hpp"

namespace tidemark {
namespace {

constexpr double kValueMax = 1e12;
constexpr double kAdditiveTrendMax = 1e6;
constexpr double kFactorMin = 0.01;
constexpr double kFactorMax = 100.0;

// Unlike std::min/std::max this lets a NaN through: a NaN state must stay
// visible instead of being silently replaced by a bound.
double clamp_keep_nan(double x, double lo, double hi) {
  if (x < lo) return lo;
  if (x > hi) return hi;
  return x;
}

struct EtsState {
  double level;
  double trend;
  double phi;
  double lower;  // floor of the level and the values
};

double forecast(const EtsParams& p, const EtsState& st, double s) {
  const double l = st.level;
  double core;
  switch (p.trend_type) {
    case 0: core = l; break;
    case 1: core = st.phi * st.trend + l; break;
    case 2: core = std::pow(st.trend, st.phi) * l; break;
    default: return l;
  }
  switch (p.seasonal_type) {
    case 0: return core;
    case 1: return core + s;
    case 2: return core * s;
    default: return l;
  }
}

// Level and trend correction; returns the base the seasonal update divides by.
double update_level_trend(const EtsParams& p, EtsState& st, double e, double r) {
  const double l = st.level;
  const double b = st.trend;
  double base;
  double next_level;
  switch (p.trend_type) {
    case 2: {
      const double growth = std::pow(b, st.phi);
      const double denom = l * r;
      const double k = denom == 0.0 ? 0.0 : p.beta * e / denom;
      base = l * growth;
      next_level = p.alpha * e / r + base;
      st.trend = clamp_keep_nan(k + growth, kFactorMin, kFactorMax);
      break;
    }
    case 1:
      base = l + b * st.phi;
      next_level = p.alpha * e / r + base;
      st.trend = clamp_keep_nan(p.beta * e / r + b * st.phi, -kAdditiveTrendMax, kAdditiveTrendMax);
      break;
    default:
      base = l;
      next_level = p.alpha * e / r + l;
      break;
  }
  st.level = clamp_keep_nan(next_level, st.lower, kValueMax);
  return base;
}

double updated_season(const EtsParams& p, double s, double e, double base) {
  switch (p.seasonal_type) {
    case 2: {
      const double increment = base == 0.0 ? 0.0 : e * p.gamma / base;
      return clamp_keep_nan(s + increment, kFactorMin, kFactorMax);
    }
    case 1: return s + e * p.gamma;
    default: return s;
  }
}

// Only indices t mod m with t < length are ever touched, so a period longer
// than the series needs no more than `length` slots.
std::vector<double> initial_ring(const EtsParams& p, std::size_t length) {
  const std::size_t m = static_cast<std::size_t>(p.seasonal_period);
  const std::size_t slots = std::min(m, length);
  if (p.seasonal_type == 0) return std::vector<double>(slots, 0.0);
  if (p.seasonal_init.empty()) return std::vector<double>(slots, p.seasonal_type == 2 ? 1.0 : 0.0);
  if (p.seasonal_init.size() < m) {
    internal_failure("seasonal_init has fewer than seasonal_period values");
  }
  return std::vector<double>(p.seasonal_init.begin(),
                             p.seasonal_init.begin() + static_cast<std::ptrdiff_t>(slots));
}

}  // namespace

Status generate_ets(const EtsParams& p, uint64_t seed, std::span<double> out) {
  // The seasonal index is t mod m in every model, so m must be positive.
  if (p.seasonal_period < 1) return param_error("seasonal_period must be > 0");
  RandomStream stream(seed);
  std::vector<double> ring = initial_ring(p, out.size());
  if (out.empty()) return std::nullopt;

  const InnovationSampler shock(p.innov, p.noise_std);
  const bool multiplicative = p.error_type != 0;
  EtsState st{p.level, p.trend_init, p.damped ? p.phi : 1.0, multiplicative ? 1e-6 : -kValueMax};
  const std::size_t m = static_cast<std::size_t>(p.seasonal_period);
  std::size_t slot = 0;
  for (double& value : out) {
    const double s = ring[slot];
    const double yhat = forecast(p, st, s);
    const double eps = shock(stream);
    const double y = multiplicative ? (eps + 1.0) * yhat : yhat + eps;
    value = clamp_keep_nan(y, st.lower, kValueMax);
    const double e = multiplicative ? eps * yhat : eps;
    const double r = (p.seasonal_type == 2 && s != 0.0) ? s : 1.0;
    const double base = update_level_trend(p, st, e, r);
    ring[slot] = updated_season(p, s, e, base);
    if (++slot == m) slot = 0;
  }
  return std::nullopt;
}

}  // namespace tidemark
