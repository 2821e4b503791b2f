// Discretised diffusions: Ornstein-Uhlenbeck, geometric Brownian motion and a
// Merton-type jump diffusion.  Each is one computational function shared by
// the direct Python call and its batch row: it seeds its own RandomStream
// from `seed` and fills `out`, whose size is the series length (0 in a batch
// writes nothing).  Sampler and innovation checks throw InternalFailure when
// the first draw that needs them is taken.
#pragma once

#include <cstdint>
#include <span>

#include "core/param_error.hpp"
#include "rng/innovations.hpp"

namespace tidemark {

struct OrnsteinUhlenbeckParams {
  double theta = 0.0;
  double mu = 0.0;
  double sigma = 0.0;
  double initial_value = 0.0;
  double dt = 0.0;
  InnovationSpec innov;
};
Status generate_ornstein_uhlenbeck(const OrnsteinUhlenbeckParams& p, uint64_t seed,
                                   std::span<double> out);

struct GeometricBrownianMotionParams {
  double mu = 0.0;
  double sigma = 0.0;
  double initial_value = 0.0;
  double dt = 0.0;
  InnovationSpec innov;
};
Status generate_geometric_brownian_motion(const GeometricBrownianMotionParams& p, uint64_t seed,
                                          std::span<double> out);

struct JumpDiffusionParams {
  double mu = 0.0;
  double sigma = 0.0;
  double lambda_jump = 0.0;
  double jump_mean = 0.0;
  double jump_std = 0.0;
  double initial_value = 0.0;
  double dt = 0.0;
  InnovationSpec innov;
};
Status generate_jump_diffusion(const JumpDiffusionParams& p, uint64_t seed,
                               std::span<double> out);

}  // namespace tidemark
