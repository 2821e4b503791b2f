#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

#include "core/integer_cast.hpp"
#include "generators/domain/domain.hpp"
#include "rng/random_stream.hpp"
#include "rng/samplers.hpp"

namespace tidemark {
namespace {

// Traffic weights 72, 48, ..., 120 by hour of day, divided by their mean 173.
constexpr std::array<double, 24> kHourFactor = {
    0.41618497109826597, 0.277456647398844,  0.20809248554913298, 0.138728323699422,
    0.138728323699422,   0.20809248554913298, 0.41618497109826597, 0.6936416184971099,
    0.9710982658959538,  1.248554913294798,  1.3872832369942198,  1.526011560693642,
    1.3872832369942198,  1.317919075144509,  1.248554913294798,   1.1791907514450868,
    1.248554913294798,   1.3872832369942198, 1.526011560693642,   1.6647398843930639,
    1.803468208092486,   1.6647398843930639, 1.248554913294798,   0.6936416184971099,
};
constexpr std::array<double, 7> kDayFactor = {
    63.0 / 73.0, 70.0 / 73.0, 70.0 / 73.0, 70.0 / 73.0, 77.0 / 73.0, 84.0 / 73.0, 77.0 / 73.0,
};

// min(1, max(0, x)) that lets NaN through, so the binomial sampler refuses
// it when there are sessions to split.
double unit_clamp(double x) {
  if (std::isnan(x)) return x;
  return std::min(1.0, std::max(0.0, x));
}

// Bot sessions per hour: a share of the human traffic, then a few bursts.
// Returns B (kept as doubles for page views).
void simulate_bots(RandomStream& s, const ClickstreamParams& p, std::span<const double> humans,
                   std::vector<double>& bots) {
  const std::size_t n = humans.size();
  const double f = p.bot_fraction;
  for (std::size_t t = 0; t < n; ++t) {
    bots[t] = (s.uniform01() * 0.4 + 0.8) * ((humans[t] * f) / (1.0 - f));
  }
  // n >= 1 here and n < 2^31, so the bounds fit the 32-bit draws.
  const auto n32 = static_cast<int32_t>(n);
  const int32_t bursts = s.sample_int_range(0, std::max(n32 / 100, 1) + 1);
  for (int32_t b = 0; b < bursts; ++b) {
    const int32_t start = s.sample_int_range(0, n32);
    const int32_t len = s.sample_int_range(1, 6);
    const double factor = s.sample_uniform(2.0, 10.0);
    const int64_t end = std::min<int64_t>(n32, static_cast<int64_t>(start) + len);
    for (auto t = static_cast<std::size_t>(start); t < static_cast<std::size_t>(end); ++t) {
      bots[t] = bots[t] * factor;
    }
  }
}

}  // namespace

// Counts are summed in 64 bits: human plus bot sessions (each up to
// INT32_MAX once bots saturate) and page views can pass 2^31.  The doubles
// returned are those exact sums.
Status generate_clickstream(const ClickstreamParams& p, uint64_t seed, std::span<double> out) {
  if (out.empty()) return std::nullopt;
  if (out.size() > static_cast<std::size_t>(INT32_MAX)) {
    return param_error("clickstream: length exceeds the 32-bit range");
  }
  RandomStream stream(seed);
  const std::size_t n = out.size();

  // Log-trend: a random walk with a small drift; the output buffer holds it
  // until the session counts replace it.
  const double drift = stream.sample_uniform(-0.0005, 0.001);
  double level = 0.0;
  for (std::size_t t = 0; t < n; ++t) {
    level = level + ((stream.standard_normal() * 0.002 + 0.0) + drift);
    out[t] = level;
  }
  const double level0 = out[0];
  for (std::size_t t = 0; t < n; ++t) {
    double season = 1.0;
    if (p.include_seasonality) {
      season = (kHourFactor[t % 24] * kDayFactor[(t / 24) % 7] - 1.0) * p.seasonality_amp + 1.0;
    }
    const double rate = (season * p.base_sessions) * std::exp(out[t] - level0);
    out[t] = static_cast<double>(sample_poisson(stream, rate > 0.1 ? rate : 0.1));
  }
  const std::span<const double> humans(out);

  std::vector<double> bots;
  if (p.include_bots) {
    bots.assign(n, 0.0);
    simulate_bots(stream, p, humans, bots);
  }

  const double pb = unit_clamp(p.bounce_mult * p.bounce_rate);
  const double pc = unit_clamp(p.conversion_mult * p.conversion_rate);
  const double q = 1.0 / (p.depth_mult * p.avg_session_depth);
  for (std::size_t t = 0; t < n; ++t) {
    const auto h = static_cast<int32_t>(humans[t]);
    const int32_t bounces = sample_binomial(stream, h, pb);
    const int32_t engaged = h - bounces;
    int64_t pages = 0;
    int32_t conversions = 0;
    if (engaged > 0) {
      pages = static_cast<int64_t>(engaged) + sample_negative_binomial(stream, engaged, q);
      conversions = sample_binomial(stream, engaged, pc);
    }
    const double bot = p.include_bots ? bots[t] : 0.0;
    const int64_t sessions = static_cast<int64_t>(h) + saturating_i32(bot);
    switch (p.output_type) {
      case 1:
        out[t] = static_cast<double>(pages + bounces) + bot * 5.0;
        break;
      case 2:
        out[t] = static_cast<double>(conversions);
        break;
      case 3:
        out[t] = sessions > 0 ? static_cast<double>(bounces) / static_cast<double>(sessions) : 0.0;
        break;
      default:
        out[t] = static_cast<double>(sessions);
        break;
    }
  }
  return std::nullopt;
}

}  // namespace tidemark
