// The block bootstrap against the pool it describes, built literally: the
// draw order (floor(n/b) + 2 starts, then the offset) and the grouping
// (trend + seasonal) + pool value must hold bit for bit.
#include <cstring>
#include <vector>

#include "augmentation/bootstrap.hpp"
#include "rng/random_stream.hpp"
#include "testing.hpp"

namespace {

std::vector<double> literal_draw(const tidemark::Decomposition& d, std::size_t b, uint64_t seed) {
  const std::size_t n = d.trend.size();
  tidemark::RandomStream rs(seed);
  std::vector<double> pool;
  for (std::size_t i = 0; i < n / b + 2; ++i) {
    const auto start = static_cast<std::size_t>(rs.sample_int_range(0, static_cast<int32_t>(n - b + 1)));
    pool.insert(pool.end(), d.residual.begin() + static_cast<std::ptrdiff_t>(start),
                d.residual.begin() + static_cast<std::ptrdiff_t>(start + b));
  }
  const auto offset = static_cast<std::size_t>(rs.sample_int_range(0, static_cast<int32_t>(b)));
  std::vector<double> out(n);
  for (std::size_t t = 0; t < n; ++t) out[t] = (d.trend[t] + d.seasonal[t]) + pool[offset + t];
  return out;
}

TEST_CASE("block bootstrap equals the literal block pool, bit for bit") {
  for (std::size_t n : {3u, 10u, 97u, 240u}) {
    std::vector<double> x(n);
    tidemark::RandomStream rs(n);
    for (std::size_t t = 0; t < n; ++t) x[t] = 0.1 * static_cast<double>(t) + rs.standard_normal();
    for (auto period : {std::optional<uint64_t>{}, std::optional<uint64_t>{4}}) {
      auto d = tidemark::classical_decomposition(x, period);
      CHECK(d.ok());
      for (std::size_t b : {std::size_t{2}, std::size_t{3}, n / 2 + 1, n}) {
        if (b < 2 || b > n) continue;
        const std::vector<uint64_t> seeds{1, 99, 123456789};
        auto draws = tidemark::moving_block_bootstraps(x, b, seeds, period);
        CHECK(draws.ok());
        for (std::size_t i = 0; i < seeds.size(); ++i) {
          const auto want = literal_draw(d.value(), b, seeds[i]);
          CHECK(std::memcmp(draws.value()[i].data(), want.data(), n * sizeof(double)) == 0);
        }
      }
    }
  }
}

}  // namespace
