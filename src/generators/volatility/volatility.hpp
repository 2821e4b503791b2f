// Stochastic volatility (Heston- or SABR-type) and Markov regime switching.
// One computational function each, shared by the direct Python call and its
// batch row; `out` has the series length (0 in a batch writes nothing).
#pragma once

#include <cstdint>
#include <span>

#include "core/param_error.hpp"
#include "rng/innovations.hpp"

namespace tidemark {

struct StochasticVolatilityParams {
  int32_t model_type = 0;    // 0 Heston; 1 SABR from sqrt(initial_vol); else SABR
  double initial_price = 0.0;
  double initial_vol = 0.0;  // a variance for Heston and for model 1
  double drift = 0.0;
  double mean_vol = 0.0;
  double vol_mean_reversion = 0.0;
  double vol_of_vol = 0.0;
  double correlation = 0.0;
  double beta = 0.0;
  double dt = 0.0;
  int32_t output_type = 0;   // 0 prices, 1 log returns, else the volatility path
  InnovationSpec innov;
};
Status generate_stochastic_volatility(const StochasticVolatilityParams& p, uint64_t seed,
                                      std::span<double> out);

// Regime indices must stay inside the arrays; a start or a transition that
// leaves them throws InternalFailure instead of reading past an array.
struct RegimeSwitchingParams {
  int32_t n_regimes = 1;
  std::span<const double> means;
  std::span<const double> variances;
  std::span<const double> ar_coeffs;
  std::span<const double> transition;  // K x K, row-major
  std::span<const double> stationary;
  int32_t initial_regime = 0;          // < 0: drawn from `stationary`
  InnovationSpec innov;
};
Status generate_regime_switching(const RegimeSwitchingParams& p, uint64_t seed,
                                 std::span<double> out);

}  // namespace tidemark
