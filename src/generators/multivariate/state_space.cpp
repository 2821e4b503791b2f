#include <optional>
#include <string>
#include <vector>

#include "core/internal_failure.hpp"
#include "generators/multivariate/multivariate.hpp"
#include "linalg/matrix.hpp"
#include "rng/innovations.hpp"
#include "rng/random_stream.hpp"

namespace tidemark {

Status generate_state_space(const StateSpaceParams& p, uint64_t seed, std::span<double> out) {
  const uint64_t s = p.state_dim;
  const uint64_t o = p.obs_dim;
  // The series is the first observation component; without one there is
  // nothing to return.
  if (o == 0) internal_failure("state_space: obs_dim must be > 0");
  const Matrix f = matrix_from_flat(p.f_mat, s, s, "state_space f_mat");
  const Matrix h = matrix_from_flat(p.h_mat, o, s, "state_space h_mat");
  const Matrix q = matrix_from_flat(p.q_mat, s, s, "state_space q_mat");
  const Matrix r = matrix_from_flat(p.r_mat, o, o, "state_space r_mat");
  const Matrix p0 = matrix_from_flat(p.initial_state_cov, s, s, "state_space initial_state_cov");
  if (p.initial_state.size() != s) {
    throw InternalFailure("state_space: initial_state holds " +
                          std::to_string(p.initial_state.size()) +
                          " entries, expected state_dim = " + std::to_string(s));
  }
  RandomStream stream(seed);
  const Matrix l_q = covariance_factor(q);
  const Matrix l_r = covariance_factor(r);
  const Matrix l_p = covariance_factor(p0);

  const std::size_t dim = f.rows();
  std::vector<double> x(dim), z(dim), e(dim), fx(dim), noise(dim);
  std::vector<double> w(r.rows());
  for (std::size_t i = 0; i < dim; ++i) z[i] = stream.standard_normal();
  multiply(l_p, z, x);
  for (std::size_t i = 0; i < dim; ++i) x[i] = x[i] + p.initial_state[i];

  // Built only when a shock will be drawn, so a run without shocks does not
  // fail on their parameters.
  std::optional<InnovationSampler> shock;
  if (dim > 0 && !out.empty()) shock.emplace(p.innov, 1.0);
  for (std::size_t t = 0; t < out.size(); ++t) {
    for (double& wi : w) wi = stream.standard_normal();
    // Only the first observation component is returned; the other rows of
    // H · x and L_R · w are never used.
    out[t] = multiply_row(h, 0, x) + multiply_row(l_r, 0, w);
    for (std::size_t i = 0; i < dim; ++i) e[i] = (*shock)(stream);
    multiply(f, x, fx);
    multiply(l_q, e, noise);
    for (std::size_t i = 0; i < dim; ++i) x[i] = fx[i] + noise[i];
  }
  return std::nullopt;
}

}  // namespace tidemark
