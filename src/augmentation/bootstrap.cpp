#include "augmentation/bootstrap.hpp"

#include <algorithm>

#include "rng/random_stream.hpp"

namespace tidemark {

void block_bootstrap(std::span<const double> level, std::span<const double> residual,
                     std::size_t block_size, uint64_t seed, std::vector<std::size_t>& starts,
                     std::span<double> out) {
  const std::size_t n = level.size(), b = block_size;
  const std::size_t blocks = n / b + 2;
  RandomStream rs(seed);
  const auto start_bound = static_cast<int32_t>(n - b + 1);
  starts.resize(blocks);
  for (std::size_t& start : starts) {
    start = static_cast<std::size_t>(rs.sample_int_range(0, start_bound));
  }
  const auto offset = static_cast<std::size_t>(rs.sample_int_range(0, static_cast<int32_t>(b)));
  // The pool is never built: output t reads pool position offset + t
  // straight from its block's stretch of the residual.
  std::size_t t = 0, within = offset;
  for (std::size_t block = 0; t < n; ++block, within = 0) {
    const double* src = residual.data() + starts[block] + within;
    const std::size_t run = std::min(b - within, n - t);
    for (std::size_t i = 0; i < run; ++i, ++t) out[t] = level[t] + src[i];
  }
}

Result<std::vector<std::vector<double>>> moving_block_bootstraps(
    std::span<const double> values, uint64_t block_size, std::span<const uint64_t> seeds,
    std::optional<uint64_t> period) {
  if (Status refusal = check_decomposition_input(values, period)) return std::move(*refusal);
  const std::size_t n = values.size();
  if (block_size < 2 || block_size > n) {
    return ParamError{"block_size must be in [2, len(values)]"};
  }
  // Checked before the (costly) decomposition of such a series.
  if (n > kMaxBootstrapLength) {
    return ParamError{"values must hold at most 2147483647 observations for the bootstrap"};
  }
  Result<Decomposition> d = classical_decomposition(values, period);
  if (!d.ok()) return d.error();
  const auto b = static_cast<std::size_t>(block_size);
  const Decomposition& parts = d.value();
  std::vector<double> level(n);
  for (std::size_t t = 0; t < n; ++t) level[t] = parts.trend[t] + parts.seasonal[t];
  std::vector<std::vector<double>> draws(seeds.size());
  std::vector<std::size_t> starts;
  for (std::size_t i = 0; i < seeds.size(); ++i) {
    draws[i].assign(n, 0.0);
    block_bootstrap(level, parts.residual, b, seeds[i], starts, draws[i]);
  }
  return draws;
}

}  // namespace tidemark
