#include <cmath>
#include <cstdint>
#include <limits>

#include "generators/stochastic/stochastic_processes.hpp"
#include "testing.hpp"

using namespace tidemark;

TEST_CASE("lorenz stride truncates 1 / dt in 64 bits and keeps it in [1, 100000]") {
  CHECK_EQ(lorenz_stride(0.01), int64_t{100});
  CHECK_EQ(lorenz_stride(1e-5), int64_t{99999});  // 1 / 1e-5 is just below 100000
  CHECK_EQ(lorenz_stride(1e-9), int64_t{100000});
  CHECK_EQ(lorenz_stride(0.0), int64_t{100000});   // +inf saturates
  CHECK_EQ(lorenz_stride(-0.0), int64_t{1});       // -inf saturates low
  CHECK_EQ(lorenz_stride(0.5), int64_t{2});
  CHECK_EQ(lorenz_stride(0.7), int64_t{1});
  CHECK_EQ(lorenz_stride(-0.01), int64_t{1});
  CHECK_EQ(lorenz_stride(std::nan("")), int64_t{1});
  CHECK_EQ(lorenz_stride(std::numeric_limits<double>::infinity()), int64_t{1});
  CHECK_EQ(lorenz_stride(1e-300), int64_t{100000});  // beyond the 64-bit range
}
