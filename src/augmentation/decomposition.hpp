// Additive classical decomposition: a centred moving-average trend, seasonal
// phase means and the residual.  The first step of every feature
// computation and of the moving block bootstrap.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "core/param_error.hpp"

namespace tidemark {

struct Decomposition {
  std::vector<double> trend;
  std::vector<double> seasonal;
  std::vector<double> residual;
};

// The decomposition's input checks alone, in their order: at least three
// values, all finite, a period (when given) of at least 2.
Status check_decomposition_input(std::span<const double> values,
                                 std::optional<uint64_t> period);

// Checks the input as above, then decomposes.  A period longer than half
// the series is accepted and treated as no period.
Result<Decomposition> classical_decomposition(std::span<const double> values,
                                              std::optional<uint64_t> period);

// The moving-average window the decomposition uses for n values (n >= 3).
std::size_t moving_average_window(std::size_t n, std::optional<uint64_t> period);

}  // namespace tidemark
