// Multivariate generators.  Each simulates a vector (or a whole stationary
// Gaussian sequence) and fills `out` with one scalar series; each is one
// computational function shared by the direct Python call and, where there
// is one, its batch row.  Matrix parameters are flat row-major arrays; their
// sizes are checked against the dimensions here (InternalFailure), because
// batch rows pass them through unscreened.
#pragma once

#include <cstdint>
#include <span>

#include "core/param_error.hpp"
#include "rng/innovations.hpp"

namespace tidemark {

struct VarParams {
  int64_t n_variables = 1;  // K
  int64_t order = 1;        // p
  std::span<const double> coef_matrices;  // p blocks of K x K, at least p·K² entries
  std::span<const double> intercept;      // K
  std::span<const double> innovation_cov; // K x K
  InnovationSpec innov;
};
Status generate_var_process(const VarParams& p, uint64_t seed, std::span<double> out);

struct StateSpaceParams {
  uint64_t state_dim = 1;  // S
  uint64_t obs_dim = 1;    // O
  std::span<const double> f_mat;              // S x S
  std::span<const double> h_mat;              // O x S
  std::span<const double> q_mat;              // S x S
  std::span<const double> r_mat;              // O x O
  std::span<const double> initial_state;      // S
  std::span<const double> initial_state_cov;  // S x S
  InnovationSpec innov;
};
Status generate_state_space(const StateSpaceParams& p, uint64_t seed, std::span<double> out);

struct CopulaParams {
  int64_t n_variables = 1;  // K
  int32_t copula_type = 0;  // 0 Gaussian, else Student t
  double df = 0.0;
  std::span<const double> correlation_matrix;  // K x K
  int32_t marginal_distribution = 0;
  double marginal_param1 = 0.0;
  double marginal_param2 = 1.0;
};
Status generate_copula(const CopulaParams& p, uint64_t seed, std::span<double> out);

struct GaussianProcessParams {
  int32_t kernel_id = 0;
  double length_scale = 1.0;
  double amplitude = 1.0;
  double period = 1.0;
  double mean = 0.0;
  double noise_variance = 0.0;
};
Status generate_gaussian_process(const GaussianProcessParams& p, uint64_t seed,
                                 std::span<double> out);

struct FbmParams {
  double hurst = 0.5;
  double sigma = 1.0;
  double initial_value = 0.0;
  bool cumulative = false;
  int32_t method = 0;  // 1 Hosking, 2 Davies-Harte, else dense factor
};
Status generate_fbm(const FbmParams& p, uint64_t seed, std::span<double> out);

}  // namespace tidemark
