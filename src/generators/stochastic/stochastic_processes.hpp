// Point processes (Poisson, Hawkes), Levy-stable and bounded processes and
// chaotic systems.  Each is one computational function shared by the direct
// Python call and its batch row: it seeds its own RandomStream from `seed`
// and fills `out`, whose size is the series length (0 is possible in a
// batch).  Sampler refusals and the guards that keep every call finite
// throw InternalFailure.
#pragma once

#include <cstdint>
#include <span>

#include "core/param_error.hpp"

namespace tidemark {

struct PoissonProcessParams {
  double lambda_rate = 0.0;
  bool cumulative = false;
};
Status generate_poisson_process(const PoissonProcessParams& p, uint64_t seed,
                                std::span<double> out);

struct HawkesParams {
  double baseline_intensity = 0.0;    // mu
  double excitation_amplitude = 0.0;  // alpha
  double decay_rate = 0.0;            // beta
  int32_t kernel_type = 0;            // 0 exponential, else power law
  double power_law_exponent = 0.0;    // p
  int32_t output_type = 0;            // 0 counts, 1 midpoint intensity, else 0/1 indicators
  int32_t max_events = 0;
};
Status generate_hawkes_process(const HawkesParams& p, uint64_t seed, std::span<double> out);

struct LevyParams {
  double alpha = 2.0;
  double beta_skew = 0.0;
  double scale = 1.0;
  double location = 0.0;
  bool cumulative = false;
  double initial_value = 0.0;
};
Status generate_levy_process(const LevyParams& p, uint64_t seed, std::span<double> out);

struct BoundedParams {
  int32_t model_id = 0;  // 0 Beta autoregression, else logistic-normal
  double phi = 0.0;
  double omega = 0.0;
  double kappa = 0.0;
  double sigma_param = 0.0;
  double initial_value = 0.5;  // a proportion in (0, 1)
  double lower = 0.0;
  double upper = 1.0;
};
Status generate_bounded_process(const BoundedParams& p, uint64_t seed, std::span<double> out);

struct ChaoticParams {
  int32_t system_id = 0;  // 1 logistic map, 2 Mackey-Glass, else Lorenz
  double sigma = 10.0;
  double rho = 28.0;
  double beta = 8.0 / 3.0;
  double dt = 0.01;
  double logistic_r = 4.0;
  double mg_beta = 0.2;
  double mg_gamma = 0.1;
  double mg_n = 10.0;
  int32_t mg_tau = 17;
  double observation_noise = 0.0;
  double initial_perturbation = 0.0;
};
Status generate_chaotic_system(const ChaoticParams& p, uint64_t seed, std::span<double> out);

// The Lorenz stride: steps per recorded sample for step size `dt`.
int64_t lorenz_stride(double dt);

}  // namespace tidemark
