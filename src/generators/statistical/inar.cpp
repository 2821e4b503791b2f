#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

#include "core/integer_cast.hpp"
#include "generators/statistical/statistical.hpp"
#include "rng/samplers.hpp"

namespace tidemark {
namespace {

constexpr int64_t kWarmUp = 100;
constexpr int64_t kCountMax = std::numeric_limits<int32_t>::max();

// The stationary mean mu / (1 - S), or mu when the thinning sums to 1 or
// more (no stationary mean); never negative, truncated to a count.
int32_t starting_count(const InarParams& p) {
  const std::size_t used = p.p > 0 ? std::min(p.alpha.size(), static_cast<std::size_t>(p.p)) : 0;
  double sum = 0.0;
  for (std::size_t j = 0; j < used; ++j) sum = sum + p.alpha[j];
  const double m0 = sum < 1.0 ? p.innov_mean / (1.0 - sum) : p.innov_mean;
  return saturating_i32(m0 > 0.0 ? m0 : 0.0);
}

// Poisson, or gamma-then-Poisson arrivals.  Built at the first step so the
// sampler checks fire only when something is drawn.
class Arrivals {
 public:
  explicit Arrivals(const InarParams& p) {
    if (p.innov_type == 0) {
      poisson_.emplace(p.innov_mean);
      return;
    }
    const double k = p.innov_dispersion;
    const double q = k / (p.innov_mean + k);
    gamma_.emplace(k, (1.0 - q) / q);
  }

  int32_t operator()(RandomStream& s) const {
    if (poisson_) return (*poisson_)(s);
    const double lambda = (*gamma_)(s);
    return sample_poisson(s, lambda > 0.0 ? lambda : 0.0);
  }

 private:
  std::optional<PoissonSampler> poisson_;
  std::optional<GammaSampler> gamma_;
};

// Sum of the thinned lags of X[t].  Accumulated in 64 bits: p counts of up
// to 2^31 each cannot overflow it.
int64_t survivors(RandomStream& s, std::span<const double> alpha, const int32_t* x, std::size_t t) {
  int64_t total = 0;
  for (std::size_t j = 1; j <= alpha.size(); ++j) {
    const int32_t c = x[t - j];
    const double a = alpha[j - 1];
    if (c > 0 && a > 0.0) total += sample_binomial(s, c, a);
  }
  return total;
}

}  // namespace

// Counts that would pass INT32_MAX (thinning summing to 1 or more, or huge
// means) saturate there instead of wrapping.
Status check_inar_params(const InarParams& p, std::size_t length) {
  if (p.p > 0 && p.alpha.size() < static_cast<std::size_t>(p.p)) {
    return param_error("alpha_arr must have at least p entries");
  }
  if (length > static_cast<std::size_t>(kCountMax - kWarmUp)) {
    return param_error("working length exceeds the 32-bit range");
  }
  return std::nullopt;
}

Status generate_inar(const InarParams& p, uint64_t seed, std::span<double> out) {
  if (Status refused = check_inar_params(p, out.size())) return refused;
  RandomStream stream(seed);
  const std::size_t n = out.size() + static_cast<std::size_t>(kWarmUp);
  std::vector<int32_t> x(n, starting_count(p));

  // A negative order (batch rows only) takes no steps and leaves X0 everywhere.
  if (p.p >= 0 && static_cast<std::size_t>(p.p) < n) {
    const std::size_t order = static_cast<std::size_t>(p.p);
    const std::span<const double> alpha = p.alpha.first(order);
    const Arrivals arrivals(p);
    for (std::size_t t = order; t < n; ++t) {
      // Two statements: the thinning draws must precede the arrival draws.
      const int64_t kept_count = survivors(stream, alpha, x.data(), t);
      const int64_t total = kept_count + arrivals(stream);
      x[t] = static_cast<int32_t>(std::min(total, kCountMax));
    }
  }
  const auto output_start = x.begin() + static_cast<std::ptrdiff_t>(kWarmUp);
  std::transform(output_start, x.end(), out.begin(),
                 [](int32_t c) { return static_cast<double>(c); });
  return std::nullopt;
}

}  // namespace tidemark
