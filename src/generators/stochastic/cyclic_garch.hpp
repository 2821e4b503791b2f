// Quasi-periodic cycles on a trend, and GARCH(p, q) returns.  One
// computational function each, shared by the direct Python call and its
// batch row; `out` has the series length (0 in a batch writes nothing).
// Orders and counts that would make a work buffer unsizeable or index past
// a coefficient array throw InternalFailure before anything is drawn.
#pragma once

#include <cstdint>
#include <span>

#include "core/param_error.hpp"
#include "rng/innovations.hpp"

namespace tidemark {

struct CyclicParams {
  double base_level = 0.0;
  double trend = 0.0;
  double cycle_period_mean = 0.0;
  double cycle_period_std = 0.0;
  double cycle_amplitude_mean = 0.0;
  double cycle_amplitude_std = 0.0;
  int32_t num_cycles = 0;
  double noise_std = 0.0;
  InnovationSpec innov;
};
Status generate_cyclic(const CyclicParams& p, uint64_t seed, std::span<double> out);

struct GarchParams {
  int32_t p = 0;                  // lagged-variance (GARCH) terms, read from beta
  int32_t q = 0;                  // squared-shock (ARCH) terms, read from alpha
  double omega = 0.0;
  std::span<const double> alpha;  // at least q entries
  std::span<const double> beta;   // at least p entries
  double mu = 0.0;
  double initial_variance = 0.0;
  InnovationSpec innov;
};
Status generate_garch(const GarchParams& p, uint64_t seed, std::span<double> out);

}  // namespace tidemark
