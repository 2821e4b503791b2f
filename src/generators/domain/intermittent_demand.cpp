#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <optional>
#include <vector>

#include "core/internal_failure.hpp"
#include "generators/domain/domain.hpp"
#include "generators/domain/domain_internal.hpp"
#include "rng/random_stream.hpp"
#include "rng/samplers.hpp"

namespace tidemark {
namespace {

using domain_detail::kTwoPi;

// Phase 1 lists the periods with demand, in increasing order; phase 2 draws
// a size for each.  Lists are filled without branching on the draws (the
// next slot is written either way and kept only for a demand), which keeps
// these loops free of mispredictions.
using Periods = std::vector<uint32_t>;

// sample_bernoulli with its set-up done once for a fixed p: the same check,
// the same draws, the same results.
class Bernoulli {
 public:
  explicit Bernoulli(double p) {
    if (!(p >= 0.0 && p <= 1.0)) internal_failure("invalid bernoulli param: p must be in [0, 1]");
    const double scaled = p * 0x1.0p64;
    threshold_ = scaled >= 0x1.0p64 ? kMax : static_cast<uint64_t>(scaled);
    certain_ = p == 1.0 || threshold_ == kMax;
  }
  bool operator()(RandomStream& s) const { return certain_ || s.next_u64() < threshold_; }

 private:
  static constexpr uint64_t kMax = std::numeric_limits<uint64_t>::max();
  uint64_t threshold_ = 0;
  bool certain_ = false;
};

std::size_t independent_occurrence(RandomStream& s, double p, Periods& periods) {
  const Bernoulli demand(p);
  std::size_t count = 0;
  for (std::size_t i = 0; i < periods.size(); ++i) {
    periods[count] = static_cast<uint32_t>(i);
    count += demand(s) ? 1 : 0;
  }
  return count;
}

// Gaps are geometric counts of failures (up to 2^64 - 1), so the position
// advances by comparison with what is left instead of by a sum that could
// wrap around.
std::size_t clustered_occurrence(RandomStream& s, double p, int32_t cluster_size,
                                 Periods& periods) {
  const uint64_t n = periods.size();
  std::size_t count = 0;
  uint64_t pos = 0;
  while (pos < n) {
    const uint64_t gap = sample_geometric(s, p);
    if (gap >= n - pos - 1) break;  // pos + gap + 1 >= n
    pos += gap + 1;
    for (int32_t c = 0; c < cluster_size && pos < n; ++c) {
      periods[count++] = static_cast<uint32_t>(pos++);
    }
  }
  return count;
}

// The probability of remainder r of a cycle of `period` periods: the peak
// probability at r = 0, the base probability half a cycle later, clipped
// to [0, 1] with NaN kept (the Bernoulli draw refuses it).
double seasonal_probability(int64_t r, int32_t period, double p, double amp) {
  const double angle = (static_cast<double>(r) * kTwoPi) / static_cast<double>(period);
  const double prob = ((std::cos(angle) + 1.0) * amp) * 0.5 + p;
  if (std::isnan(prob)) return prob;
  return std::min(1.0, std::max(0.0, prob));
}

// The remainder cycles through the same values, so each distinct
// probability is computed once (at most one per period of the series).
std::size_t seasonal_occurrence(RandomStream& s, double p, double peak, int32_t period,
                                Periods& periods) {
  const double amp = peak - p;
  const int64_t cycle = std::llabs(static_cast<int64_t>(period));
  const std::size_t n = periods.size();
  const auto known = static_cast<std::size_t>(std::min<int64_t>(cycle, static_cast<int64_t>(n)));
  std::vector<double> probability(known);
  for (std::size_t r = 0; r < known; ++r) {
    probability[r] = seasonal_probability(static_cast<int64_t>(r), period, p, amp);
  }
  std::size_t count = 0;
  for (std::size_t k = 0, r = 0; k < n; ++k, r = r + 1 == known ? 0 : r + 1) {
    periods[count] = static_cast<uint32_t>(k);
    count += sample_bernoulli(s, probability[r]) ? 1 : 0;
  }
  return count;
}

// Draws one demand size.  The samplers are set up at the first period with
// demand, so their parameter checks fire only when a size is drawn.
class SizeDraw {
 public:
  explicit SizeDraw(const IntermittentDemandParams& p)
      : distribution_(p.demand_distribution), mean_(p.demand_mean) {
    const double mu = p.demand_mean;
    const double s = p.demand_std;
    const double variance = s * s;
    switch (distribution_) {
      case 1:
        overdispersed_ = variance > mu;
        if (overdispersed_) {
          const double q = mu / variance;
          nb_shape_ = mu * q / (1.0 - q);
          nb_scale_ = (1.0 - q) / q;
        }
        break;
      case 2:
        log_sigma_ = std::sqrt(std::log(variance / (mu * mu) + 1.0));
        log_mean_ = std::log((mu * mu) / std::sqrt(mu * mu + variance));
        break;
      case 3:
        gamma_shape_ = (mu / s) * (mu / s);
        gamma_scale_ = variance / mu;
        break;
      default:
        break;
    }
  }

  double operator()(RandomStream& s) {
    switch (distribution_) {
      case 1:
        if (overdispersed_) {
          if (!gamma_) gamma_.emplace(nb_shape_, nb_scale_);
          const double x = (*gamma_)(s);
          return static_cast<double>(sample_poisson(s, x > 0.0 ? x : 0.0));
        }
        return poisson(s);
      case 2:
        return sample_lognormal(s, log_mean_, log_sigma_);
      case 3:
        if (!gamma_) gamma_.emplace(gamma_shape_, gamma_scale_);
        return (*gamma_)(s);
      default:
        return poisson(s);
    }
  }

 private:
  double poisson(RandomStream& s) {
    if (!poisson_) poisson_.emplace(mean_);
    return static_cast<double>((*poisson_)(s));
  }

  int32_t distribution_;
  double mean_;
  bool overdispersed_ = false;
  double nb_shape_ = 0.0, nb_scale_ = 0.0;
  double log_sigma_ = 0.0, log_mean_ = 0.0;
  double gamma_shape_ = 0.0, gamma_scale_ = 0.0;
  std::optional<GammaSampler> gamma_;
  std::optional<PoissonSampler> poisson_;
};

}  // namespace

Status generate_intermittent_demand(const IntermittentDemandParams& p, uint64_t seed,
                                    std::span<double> out) {
  if (out.empty()) return std::nullopt;
  if (p.intermittent_pattern == 2 && p.seasonal_period == 0) {
    return param_error("seasonal_period must not be 0 for the seasonal pattern");
  }
  std::fill(out.begin(), out.end(), 0.0);
  if (p.intermittent_pattern < 0 || p.intermittent_pattern > 2) return std::nullopt;

  RandomStream stream(seed);
  Periods periods(out.size());
  std::size_t count = 0;
  switch (p.intermittent_pattern) {
    case 0:
      count = independent_occurrence(stream, p.demand_probability, periods);
      break;
    case 1:
      count = clustered_occurrence(stream, p.demand_probability, p.cluster_size, periods);
      break;
    default:
      count = seasonal_occurrence(stream, p.demand_probability, p.seasonal_peak_prob,
                                  p.seasonal_period, periods);
      break;
  }

  SizeDraw size_of(p);
  const bool floored = !std::isnan(p.min_demand);
  for (std::size_t j = 0; j < count; ++j) {
    const double size = size_of(stream);
    out[periods[j]] = !floored || size > p.min_demand ? size : p.min_demand;
  }
  return std::nullopt;
}

}  // namespace tidemark
