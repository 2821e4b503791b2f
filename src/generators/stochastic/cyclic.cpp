#include <cmath>
#include <cstddef>

#include "core/interrupt.hpp"
#include "core/internal_failure.hpp"
#include "generators/stochastic/cyclic_garch.hpp"
#include "rng/random_stream.hpp"
#include "rng/samplers.hpp"

namespace tidemark {
namespace {

constexpr double kTwoPi = 6.283185307179586;
constexpr double kWobbleDepth = 0.2;

// Adds one cycle whose instantaneous period wobbles by +-20 % around
// `period` with a wobble period of 2 * period steps.  The phase advances
// before each sample, so the first sample already carries one step.
void add_cycle(std::span<double> x, double period, double amplitude, double phase) {
  const double wobble_period = period + period;
  for (std::size_t t = 0; t < x.size(); ++t) {
    const double wobble = std::sin((static_cast<double>(t) * kTwoPi) / wobble_period);
    const double current_period = (wobble * kWobbleDepth + 1.0) * period;
    phase = phase + kTwoPi / current_period;
    x[t] = std::sin(phase) * amplitude + x[t];
  }
}

}  // namespace

Status generate_cyclic(const CyclicParams& p, uint64_t seed, std::span<double> out) {
  // A negative count has no meaning and would size nothing; refuse it
  // rather than treat it as zero cycles.
  if (p.num_cycles < 0) internal_failure("cyclic: num_cycles must be >= 0");
  RandomStream stream(seed);
  for (std::size_t t = 0; t < out.size(); ++t) {
    out[t] = static_cast<double>(t) * p.trend + p.base_level;
  }
  if (out.empty()) {
    // Nothing to add the cycles to: only their parameter checks remain,
    // and those do not depend on the cycle, so a huge count costs nothing.
    if (p.num_cycles > 0) {
      sample_normal(stream, p.cycle_period_mean, p.cycle_period_std);
      sample_normal(stream, p.cycle_amplitude_mean, p.cycle_amplitude_std);
    }
    return std::nullopt;
  }
  // Each cycle is added as soon as its three parameters are drawn: adding
  // draws nothing, so the stream sees the same order as drawing all cycle
  // parameters first, and no per-cycle work vectors are needed.
  for (int32_t j = 0; j < p.num_cycles; ++j) {
    if (j % 256 == 0) interruption_point();  // up to 2^31 cycles over the series
    const double period = std::fabs(sample_normal(stream, p.cycle_period_mean, p.cycle_period_std));
    const double amplitude = sample_normal(stream, p.cycle_amplitude_mean, p.cycle_amplitude_std);
    const double phase = stream.sample_uniform(0.0, kTwoPi);
    add_cycle(out, period, amplitude, phase);
  }
  const InnovationSampler noise(p.innov, p.noise_std);
  for (double& x : out) x = noise(stream) + x;
  return std::nullopt;
}

}  // namespace tidemark
