// Statistical generators.  Each is one computational function shared by the
// direct Python call and its batch row: it seeds its own RandomStream from
// `seed` and fills `out` (whose size is the series length; it may be 0 in a
// batch).  Sampler and innovation checks throw InternalFailure; the
// refusals that protect buffers are returned as ParamError.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "core/param_error.hpp"
#include "rng/innovations.hpp"

namespace tidemark {

struct RandomWalkParams {
  double drift = 0.0;
  double volatility = 0.0;
  double start_value = 0.0;
  InnovationSpec innov;
};
Status generate_random_walk(const RandomWalkParams& p, uint64_t seed, std::span<double> out);

struct SeasonalParams {
  int32_t seasonality_period = 1;
  double seasonality_amplitude = 0.0;
  double trend = 0.0;
  double noise_level = 0.0;
  double base_level = 0.0;
  InnovationSpec innov;
};
Status generate_seasonal(const SeasonalParams& p, uint64_t seed, std::span<double> out);

struct SarimaParams {
  std::span<const double> ar;  // phi_1 .. phi_p of the full polynomial
  std::span<const double> ma;  // theta_1 .. theta_q
  int32_t d = 0;
  int32_t seasonal_d = 0;
  int32_t seasonal_period = 0;
  double mean = 0.0;
  double drift = 0.0;
  double noise_std = 0.0;
  int32_t burn_in = 0;
  InnovationSpec innov;
};
Status generate_sarima(const SarimaParams& p, uint64_t seed, std::span<double> out);
// The refusals of generate_sarima, for callers that must not allocate the
// output of a call that will be refused.
Status check_sarima_params(const SarimaParams& p, std::size_t length);

struct EtsParams {
  int32_t error_type = 0;
  int32_t trend_type = 0;
  int32_t seasonal_type = 0;
  int32_t seasonal_period = 1;
  double level = 0.0;
  double trend_init = 0.0;
  std::span<const double> seasonal_init;
  double alpha = 0.0;
  double beta = 0.0;
  double gamma = 0.0;
  double phi = 1.0;
  bool damped = false;
  double noise_std = 0.0;
  InnovationSpec innov;
};
Status generate_ets(const EtsParams& p, uint64_t seed, std::span<double> out);

struct InarParams {
  int32_t p = 1;
  std::span<const double> alpha;
  int32_t innov_type = 0;
  double innov_mean = 0.0;
  double innov_dispersion = 0.0;
};
// The refusals of generate_inar, for callers that check before allocating.
Status check_inar_params(const InarParams& p, std::size_t length);
Status generate_inar(const InarParams& p, uint64_t seed, std::span<double> out);

}  // namespace tidemark
