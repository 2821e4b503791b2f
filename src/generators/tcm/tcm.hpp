// TCM: one observed variable of a randomly wired system of interacting
// variables.  Each variable has its own (optionally volatility-modulated)
// noise and lagged links from other variables of five kinds; the linear
// part is rescaled to a drawn spectral radius and states are softly
// clipped.  Batch code 29 only.
//
// Scalar slots (13 required): 0-1 variable count bounds, 2-3 lag count
// bounds, 4-5 link probability range, 6-7 link magnitude range, 8 radius
// scale, 9 clip bound, 10-11 noise scale range, 12 probability of seasonal
// volatility.  Arrays (2 required): link kind pool, noise type pool.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "rng/random_stream.hpp"

namespace tidemark {

inline constexpr std::size_t kTcmScalarCount = 13;
inline constexpr std::size_t kTcmArrayCount = 2;
inline constexpr int kTcmAttempts = 6;

// One lagged link into a target variable.
struct TcmEdge {
  uint32_t source = 0;
  uint32_t lag = 1;
  double coefficient = 0.0;
  double scale = 1.0;      // c, for the saturating and interaction kinds
  double threshold = 0.0;  // z, for the threshold kind
  uint32_t partner = 0;
  uint32_t partner_lag = 1;
  int32_t kind = 0;  // 0 linear, 1 saturating, 2 rectified, 3 interaction, 4 threshold
};

// Per-variable noise parameters.
struct TcmNode {
  double sigma = 0.0;
  double theta = 0.0;
  double period = 0.0;
  double amplitude = 0.0;
  double phase = 0.0;
  int32_t noise_type = 0;
  bool modulated = false;
};

// Fills `values`; never refuses.  The pool checks and the checks of the
// random layer throw InternalFailure; buffers beyond the machine's memory
// throw std::bad_alloc.  Surplus scalars and arrays are ignored; the caller
// provides at least 13 scalars and 2 arrays.
void generate_tcm(std::span<double> values, std::span<const double> scalar_params,
                  std::span<const std::vector<double>> array_params, uint64_t seed);

// Power-iteration estimate of the spectral radius of the VAR companion
// matrix.  `columns` holds the F lag matrices column by column: entry
// (l * E + s) * E + j is A_{l+1}[j][s].  `x` and `y` are scratch vectors.
double estimate_spectral_radius(std::span<const double> columns, std::size_t e,
                                std::size_t f, std::vector<double>& x, std::vector<double>& y);

}  // namespace tidemark
