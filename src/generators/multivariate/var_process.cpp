#include <algorithm>
#include <string>
#include <vector>

#include "core/internal_failure.hpp"
#include "generators/multivariate/multivariate.hpp"
#include "linalg/matrix.hpp"
#include "rng/innovations.hpp"
#include "rng/random_stream.hpp"

namespace tidemark {

namespace {

constexpr std::size_t kBurnIn = 100;

}  // namespace

Status generate_var_process(const VarParams& p, uint64_t seed, std::span<double> out) {
  if (p.n_variables < 1 || p.order < 1) {
    internal_failure("var_process: n_variables and order must be > 0");
  }
  const auto k = static_cast<uint64_t>(p.n_variables);
  const auto order = static_cast<uint64_t>(p.order);
  const uint64_t block = checked_product(k, k, "var_process coef_matrices");
  const uint64_t needed = checked_product(order, block, "var_process coef_matrices");
  if (p.coef_matrices.size() < needed) {
    throw InternalFailure("var_process: coef_matrices holds " +
                          std::to_string(p.coef_matrices.size()) + " entries, needs at least " +
                          std::to_string(needed) + " (order x n_variables^2)");
  }
  if (p.intercept.size() != k) {
    throw InternalFailure("var_process: intercept holds " + std::to_string(p.intercept.size()) +
                          " entries, expected n_variables = " + std::to_string(k));
  }
  RandomStream stream(seed);
  // Lags beyond the run's length never reach a step; their blocks are not built.
  const std::size_t steps = out.size() + kBurnIn;
  const uint64_t reachable = std::min<uint64_t>(order, steps);
  std::vector<Matrix> lags;
  lags.reserve(static_cast<std::size_t>(reachable));
  for (uint64_t j = 0; j < reachable; ++j) {
    lags.push_back(matrix_from_flat(p.coef_matrices.subspan(j * block, block), k, k,
                                    "var_process coef_matrices"));
  }
  const Matrix factor = covariance_factor(
      matrix_from_flat(p.innovation_cov, k, k, "var_process innovation_cov"));
  const InnovationSampler shock(p.innov, 1.0);

  // Only the last `order` vectors are ever read, so the history is a ring of
  // that many slots (fewer when the run is shorter).
  const auto slots = static_cast<std::size_t>(reachable);
  const std::size_t dim = static_cast<std::size_t>(k);
  std::vector<double> history(static_cast<std::size_t>(checked_product(slots, k, "var_process")));
  std::vector<double> v(dim), e(dim), product(dim);
  for (std::size_t t = 0; t < steps; ++t) {
    std::copy(p.intercept.begin(), p.intercept.end(), v.begin());
    const std::size_t lags_in_reach = std::min<std::size_t>(t, lags.size());
    for (std::size_t j = 1; j <= lags_in_reach; ++j) {
      const std::size_t slot = (t - j) % slots;
      multiply(lags[j - 1], std::span<const double>(history).subspan(slot * dim, dim), product);
      for (std::size_t i = 0; i < dim; ++i) v[i] = product[i] + v[i];
    }
    for (std::size_t i = 0; i < dim; ++i) e[i] = shock(stream);
    multiply(factor, e, product);
    double* x = history.data() + (t % slots) * dim;
    for (std::size_t i = 0; i < dim; ++i) x[i] = product[i] + v[i];
    if (t >= kBurnIn) out[t - kBurnIn] = x[0];
  }
  return std::nullopt;
}

}  // namespace tidemark
