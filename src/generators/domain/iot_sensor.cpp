#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>

#include "core/internal_failure.hpp"
#include "generators/domain/domain.hpp"
#include "generators/domain/domain_internal.hpp"
#include "rng/random_stream.hpp"

namespace tidemark {
namespace {

using domain_detail::kNormalMessage;
using domain_detail::kTwoPi;

void require_finite_scale(double sigma) {
  if (!std::isfinite(sigma)) internal_failure(kNormalMessage);
}

// The failure process of one sensor.  Counters are 64-bit so that a
// duration of INT32_MIN (k = duration - 1) stays negative instead of
// wrapping to an endless burst.
class Failures {
 public:
  explicit Failures(const IotSensorParams& p)
      : mode_(p.failure_mode),
        p_(p.failure_probability),
        k_(static_cast<int64_t>(p.failure_duration) - 1),
        stuck_value_(p.stuck_value) {}

  double operator()(RandomStream& s, double reading) {
    switch (mode_) {
      case 1:
        if (dead_) return NAN;
        if (p_ > s.uniform01()) {
          dead_ = true;
          return NAN;
        }
        return reading;
      case 2:
        if (remaining_ > 0) {
          --remaining_;
          return NAN;
        }
        if (p_ > s.uniform01()) {
          remaining_ = k_;
          return NAN;
        }
        return reading;
      case 3:
        if (remaining_ > 0) {
          --remaining_;
          return held_;
        }
        if (p_ > s.uniform01()) {
          held_ = stuck_value_ ? *stuck_value_ : reading;
          remaining_ = k_;
          return held_;
        }
        return reading;
      default:
        return reading;
    }
  }

 private:
  int32_t mode_;
  double p_;
  int64_t k_;
  std::optional<double> stuck_value_;
  bool dead_ = false;
  int64_t remaining_ = 0;
  double held_ = 0.0;
};

}  // namespace

Status generate_iot_sensor(const IotSensorParams& p, uint64_t seed, std::span<double> out) {
  if (out.empty()) return std::nullopt;
  RandomStream stream(seed);
  const double sigma = p.measurement_noise;
  require_finite_scale(sigma);
  if (out.size() >= 2) require_finite_scale(p.drift_noise);
  const bool periodic = p.period > 0.0;
  Failures failures(p);
  double drift = 0.0;
  for (std::size_t t = 0; t < out.size(); ++t) {
    const double td = static_cast<double>(t);
    double x = p.trend * td + p.base_value;
    if (periodic) x = x + std::sin((td * kTwoPi) / p.period) * p.amplitude;
    x = x + p.calibration_offset;
    if (t >= 1) drift = drift + (stream.standard_normal() * p.drift_noise + p.drift_rate);
    x = x + drift;
    double reading = (stream.standard_normal() * sigma + 0.0) + x;
    if (p.battery_degradation && td >= p.battery_life) {
      const double aged = (td - p.battery_life) * p.battery_degradation_rate;
      const double aged_sigma = (aged + 1.0) * sigma;
      require_finite_scale(aged_sigma);
      const double z = stream.standard_normal();
      reading = (x + (aged_sigma * z + 0.0)) * std::max(aged * -0.1 + 1.0, 0.0);
    }
    out[t] = failures(stream, reading);
  }
  return std::nullopt;
}

}  // namespace tidemark
