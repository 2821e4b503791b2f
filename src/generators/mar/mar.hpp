// MAR: mixture autoregressive series.  At every step one of K AR components
// is chosen by fixed mixture weights and produces the next value from the
// series' own past.  Reached through batch code 30 and the MAR feature
// scoring batch; both call generate_mar with the same flat parameters.
//
// Scalar slots (12 required, every slot given must be finite):
//   0 K_max, 1 p_max, 2 seasonal period, 3 weight concentration,
//   4 intercept spread, 5 sigma_min, 6 sigma_max, 7 burn-in, 8 standardise,
//   9 fixed mode, 10 innov_dist, 11 innov_param.
// Fixed mode reads five arrays: weights, orders (whole numbers >= 1), all AR
// coefficients component after component, intercepts, noise scales.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "core/param_error.hpp"
#include "rng/innovations.hpp"
#include "rng/random_stream.hpp"

namespace tidemark {

inline constexpr std::size_t kMarScalarCount = 12;
inline constexpr std::size_t kMarFixedArrayCount = 5;
inline constexpr int kMarAttempts = 8;

// One configuration: K weights, K coefficient lists (phi[j] multiplies the
// value j + 1 steps back), K intercepts and K noise scales.
struct MarConfig {
  std::vector<double> weights;
  std::vector<std::vector<double>> components;
  std::vector<double> intercepts;
  std::vector<double> sigmas;
  // Per component, a run [begin, end) of coefficients that are zero by
  // construction (the lags between an AR part and its seasonal factor);
  // the simulation skips them.  Empty (begin == end) when there is none.
  std::vector<std::size_t> zero_begin;
  std::vector<std::size_t> zero_end;
};

// One component as the simulation walks it: coefficients [0, head) and
// [tail_begin, order) are summed, the zero run between them skipped.
struct MarStepComponent {
  const double* phi = nullptr;
  std::size_t head = 0;
  std::size_t tail_begin = 0;
  std::size_t order = 0;
  double intercept = 0.0;
};

// Scratch space of one series, reused across its attempts.  Callers that
// draw many series on one thread may keep one and pass it to every call.
struct MarWorkspace {
  MarConfig config;
  std::vector<double> history;      // sliding window of the simulation
  std::vector<double> scratch;      // Durbin-Levinson step, seasonal product
  std::vector<MarStepComponent> steps;
  std::vector<double> cumulative;   // cumulative mixture weights
  std::vector<InnovationSampler> shocks;
  std::vector<unsigned char> shock_ok;
};

// Fills `values` (its size is the series length; it may be 0) or returns a
// ParamError with the generator's message; the values depend only on the
// parameters and the seed, never on what a reused workspace held before.
// Reentrant: concurrent calls need only their own workspace.  Sampler
// checks of the random layer throw InternalFailure; a work buffer larger
// than the machine's memory throws std::bad_alloc.
Status generate_mar(std::span<double> values, std::span<const double> scalar_params,
                    std::span<const std::vector<double>> array_params, uint64_t seed);
Status generate_mar(std::span<double> values, std::span<const double> scalar_params,
                    std::span<const std::vector<double>> array_params, uint64_t seed,
                    MarWorkspace& workspace);

// The steps of generate_mar, exposed for unit tests.

// Builds the fixed configuration from the first five arrays (the caller
// passes at least five; further ones are ignored).
Status read_fixed_mar_config(std::span<const std::vector<double>> arrays, MarConfig& cfg);

// Draws a random-mode configuration from already validated scalar slots.
void draw_mar_config(std::span<const double> scalar_params, RandomStream& stream,
                     MarWorkspace& workspace);

// Runs burn_in + n steps after the largest order's worth of standard normal
// warm-up values and writes the last n into `values`.
void simulate_mar(std::span<double> values, const MarConfig& cfg, uint64_t burn_in,
                  const InnovationSpec& innov, RandomStream& stream, MarWorkspace& workspace);

}  // namespace tidemark
