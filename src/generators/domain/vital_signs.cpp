#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "core/internal_failure.hpp"
#include "generators/domain/domain.hpp"
#include "generators/domain/domain_internal.hpp"
#include "rng/random_stream.hpp"

namespace tidemark {
namespace {

using domain_detail::kNormalMessage;
using domain_detail::kTwoPi;

constexpr double kPi = 3.141592653589793;
constexpr double kHalfPi = 1.5707963267948966;

void require_finite_scale(double scale) {
  if (!std::isfinite(scale)) internal_failure(kNormalMessage);
}

// Adds one run of clinical events to `ev` (zero-filled on entry): at each
// minute an event starts with probability p, as a smooth bump, a sustained
// drop or a single spike.  The end of an event is computed in 64 bits so
// that events near the end of a series of 2^31 - 1 minutes cannot wrap.
void add_events(RandomStream& s, double p, std::span<double> ev) {
  const auto n = static_cast<int64_t>(ev.size());
  for (int64_t i = 0; i < n; ++i) {
    if (!(p > s.uniform01())) continue;
    const int32_t kind = s.sample_int_range(0, 3);
    const int32_t duration = s.sample_int_range(5, 30);
    const int64_t end = std::min(n, i + duration);
    const auto first = static_cast<std::size_t>(i);
    const auto last = static_cast<std::size_t>(end);
    switch (kind) {
      case 0: {
        const double x = s.sample_uniform(0.5, 2.0);
        const auto span = static_cast<double>(end - i);
        for (std::size_t t = first; t < last; ++t) {
          const auto j = static_cast<double>(t - first);
          ev[t] = std::sin((j * kPi) / span) * x + ev[t];
        }
        break;
      }
      case 1: {
        const double x = s.sample_uniform(-1.5, -0.5);
        for (std::size_t t = first; t < last; ++t) ev[t] = ev[t] + x;
        break;
      }
      default:
        ev[first] = ev[first] + s.sample_uniform(1.0, 3.0);
        break;
    }
  }
}

std::string shortest(double x) {
  char buf[32];
  const auto result = std::to_chars(buf, buf + sizeof buf, x);
  return std::string(buf, result.ptr);
}

}  // namespace

Status generate_vital_signs(const VitalSignsParams& p, uint64_t seed, std::span<double> out) {
  if (out.empty()) return std::nullopt;
  RandomStream stream(seed);
  const std::size_t n = out.size();
  const double sigma = p.baseline_std;

  require_finite_scale(0.3 * sigma);
  const double z0 = stream.standard_normal();
  require_finite_scale(0.05 * sigma);
  const double baseline = p.baseline_mean + (0.0 + (0.3 * sigma) * z0);

  // Slow wander, shifted to start at 0, around the personal baseline.
  const double wander_scale = 0.05 * sigma;
  double wander = 0.0;
  double wander0 = 0.0;
  for (std::size_t t = 0; t < n; ++t) {
    wander = wander + (stream.standard_normal() * wander_scale + 0.0);
    if (t == 0) wander0 = wander;
    out[t] = (wander - wander0) + baseline;
  }

  if (p.include_circadian) {
    for (std::size_t t = 0; t < n; ++t) {
      const double theta = (static_cast<double>(t) * kTwoPi) / 1440.0;
      out[t] = (std::sin(2.0 * theta) * 0.3 + std::sin(theta - kHalfPi)) *
                   p.circadian_magnitude + out[t];
    }
  }

  // Heart-rate variability: 1.2, 6 and 15 cycles per minute plus jitter.
  if (p.include_hrv && p.vital_sign_type < 3) {
    const double phase1 = stream.sample_uniform(0.0, kTwoPi);
    const double phase2 = stream.sample_uniform(0.0, kTwoPi);
    const double amplitude = 0.5 * sigma;
    for (std::size_t t = 0; t < n; ++t) {
      const double td = static_cast<double>(t);
      const double jitter = stream.standard_normal() * 0.2 + 0.0;
      const double wave = (std::sin(td * 7.539822368615504) * 0.3 +
                           std::sin(td * 37.69911184307752 + phase1) * 0.4) +
                          std::sin(td * 94.24777960769379 + phase2) * 0.3;
      out[t] = (wave + jitter) * amplitude + out[t];
    }
  }

  const bool coupled = p.vital_sign_type >= 1;
  std::vector<double> events;
  if (p.include_events || coupled) events.assign(n, 0.0);
  if (p.include_events) {
    add_events(stream, p.event_probability, events);
    for (std::size_t t = 0; t < n; ++t) out[t] = events[t] * sigma + out[t];
  }
  if (coupled) {
    if (p.include_events) std::fill(events.begin(), events.end(), 0.0);
    add_events(stream, p.event_probability, events);
    double factor = 0.0;
    switch (p.vital_sign_type) {
      case 1: factor = 0.3; break;
      case 2: factor = 0.2; break;
      case 3: factor = 0.15; break;
      default: break;
    }
    if (factor != 0.0) {
      for (std::size_t t = 0; t < n; ++t) out[t] = (events[t] * 8.0) * factor + out[t];
    } else if (p.vital_sign_type == 4) {
      for (std::size_t t = 0; t < n; ++t) {
        out[t] = std::max(events[t] * 8.0, 0.0) * -0.05 + out[t];
      }
    }
  }

  require_finite_scale(0.2 * sigma);
  const double noise_scale = 0.2 * sigma;
  for (std::size_t t = 0; t < n; ++t) {
    out[t] = (stream.standard_normal() * noise_scale + 0.0) + out[t];
  }

  if (!(p.min_val <= p.max_val)) {
    internal_failure(("vital_signs clamp: min_val (" + shortest(p.min_val) +
                      ") exceeds max_val (" + shortest(p.max_val) + ") or one of them is NaN")
                         .c_str());
  }
  for (std::size_t t = 0; t < n; ++t) out[t] = std::min(p.max_val, std::max(p.min_val, out[t]));
  return std::nullopt;
}

}  // namespace tidemark
