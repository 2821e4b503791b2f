#include "augmentation/bootstrap.hpp"

#include <algorithm>

#include "rng/random_stream.hpp"

namespace tidemark {

void block_bootstrap(const Decomposition& d, std::size_t block_size, uint64_t seed,
                     std::vector<double>& pool, std::span<double> out) {
  const std::size_t n = d.trend.size(), b = block_size;
  const std::size_t blocks = n / b + 2;
  pool.resize(blocks * b);
  RandomStream rs(seed);
  const auto start_bound = static_cast<int32_t>(n - b + 1);
  double* dst = pool.data();
  for (std::size_t i = 0; i < blocks; ++i, dst += b) {
    const auto start = static_cast<std::size_t>(rs.sample_int_range(0, start_bound));
    std::copy_n(d.residual.begin() + static_cast<std::ptrdiff_t>(start), b, dst);
  }
  const auto offset = static_cast<std::size_t>(rs.sample_int_range(0, static_cast<int32_t>(b)));
  const double* resampled = pool.data() + offset;
  for (std::size_t t = 0; t < n; ++t) out[t] = (d.trend[t] + d.seasonal[t]) + resampled[t];
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
  std::vector<std::vector<double>> draws(seeds.size());
  std::vector<double> pool;
  pool.reserve((n / b + 2) * b);
  for (std::size_t i = 0; i < seeds.size(); ++i) {
    draws[i].assign(n, 0.0);
    block_bootstrap(d.value(), b, seeds[i], pool, draws[i]);
  }
  return draws;
}

}  // namespace tidemark
