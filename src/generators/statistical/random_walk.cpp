#include "generators/statistical/statistical.hpp"

namespace tidemark {

Status generate_random_walk(const RandomWalkParams& p, uint64_t seed, std::span<double> out) {
  RandomStream stream(seed);
  // The innovation check belongs to the first shock: an empty series draws none.
  if (out.empty()) return std::nullopt;
  const InnovationSampler shock(p.innov, p.volatility);
  // Parameters are read into locals: stores to `out` could otherwise alias
  // them and force a reload every step.
  const double drift = p.drift;
  shock.with_kind([&](auto draw) {
    double x = p.start_value;
    for (double& value : out) {
      const double e = draw(stream);
      x = x + (e + drift);
      value = x;
    }
  });
  return std::nullopt;
}

}  // namespace tidemark
