#include <cmath>
#include <cstddef>

#include "generators/statistical/statistical.hpp"

namespace tidemark {

Status generate_seasonal(const SeasonalParams& p, uint64_t seed, std::span<double> out) {
  RandomStream stream(seed);
  if (out.empty()) return std::nullopt;
  const InnovationSampler shock(p.innov, p.noise_level);
  // A period of 0 (batch rows only) gives an infinite omega and NaN values.
  const double omega = 6.283185307179586 / static_cast<double>(p.seasonality_period);
  const double amplitude = p.seasonality_amplitude, base = p.base_level, trend = p.trend;
  shock.with_kind([&](auto draw) {
    for (std::size_t i = 0; i < out.size(); ++i) {
      const double e = draw(stream);
      const double step = static_cast<double>(i);
      const double wave = amplitude * std::sin(omega * step);
      out[i] = ((wave + base) + trend * step) + e;
    }
  });
  return std::nullopt;
}

}  // namespace tidemark
