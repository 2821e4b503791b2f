#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "core/internal_failure.hpp"
#include "generators/volatility/volatility.hpp"
#include "rng/random_stream.hpp"

namespace tidemark {
namespace {

// The first j whose running sum c = w[0] + ... + w[j] reaches u; when none
// does, `fallback` (the last regime, so missing mass goes there).
int64_t first_reaching(const double* w, std::size_t count, double u, int64_t fallback) {
  double c = 0.0;
  for (std::size_t j = 0; j < count; ++j) {
    c = c + w[j];
    if (c >= u) return static_cast<int64_t>(j);
  }
  return fallback;
}

bool below(int64_t r, std::size_t limit) {
  return r >= 0 && static_cast<uint64_t>(r) < limit;
}

}  // namespace

// Indices are int64 so that K - 1 and r * K cannot overflow for any 32-bit
// K, including the non-positive counts a batch row may pass.
Status generate_regime_switching(const RegimeSwitchingParams& p, uint64_t seed,
                                 std::span<double> out) {
  RandomStream stream(seed);
  if (out.empty()) return std::nullopt;
  const int64_t k = p.n_regimes;
  const int64_t last = k - 1;
  int64_t r = p.initial_regime;
  if (r < 0) {
    const double u = stream.uniform01();
    const std::size_t walk = k > 0 ? std::min(p.stationary.size(), static_cast<std::size_t>(k)) : 0;
    r = first_reaching(p.stationary.data(), walk, u, last);
  }
  // A regime may be used only where every array it reads has its entry.
  const std::size_t start_limit = std::min(p.means.size(), p.variances.size());
  if (!below(r, start_limit)) {
    internal_failure("regime_switching: starting regime outside regime_means or regime_variances");
  }
  const double* mean = p.means.data();
  const double* var = p.variances.data();
  const double* phi = p.ar_coeffs.data();
  const InnovationSampler shock(p.innov, 1.0);
  double x = mean[r] + std::sqrt(var[r]) * shock(stream);
  out[0] = x;
  if (out.size() == 1) return std::nullopt;

  const std::size_t step_limit = std::min(start_limit, p.ar_coeffs.size());
  // Complete rows of the transition matrix; a regime >= rows has none.
  const std::size_t rows = k > 0 ? p.transition.size() / static_cast<std::size_t>(k) : 0;
  const std::size_t row_length = k > 0 ? static_cast<std::size_t>(k) : 0;
  const double width = RandomStream::uniform_width(0.0, 1.0);
  for (std::size_t t = 1; t < out.size(); ++t) {
    // sample_uniform(0, 1) with its bounds check hoisted.
    const double u = RandomStream::clamp_below(stream.unit_mantissa() * width + 0.0, 1.0);
    if (row_length > 0 && !below(r, rows)) {
      internal_failure("regime_switching: transition_matrix has no full row for a regime reached");
    }
    const double* row = p.transition.data() + (row_length > 0 ? r * k : 0);
    r = first_reaching(row, row_length, u, last);
    if (!below(r, step_limit)) {
      internal_failure(
          "regime_switching: regime reached outside regime_means, regime_variances or "
          "regime_ar_coeffs");
    }
    const double z = shock(stream);
    x = ((x - mean[r]) * phi[r] + mean[r]) + z * std::sqrt(var[r]);
    out[t] = x;
  }
  return std::nullopt;
}

}  // namespace tidemark
