#include <algorithm>
#include <cmath>
#include <cstddef>
#include <optional>

#include "core/interrupt.hpp"
#include "generators/stochastic/diffusions.hpp"
#include "rng/random_stream.hpp"
#include "rng/samplers.hpp"

namespace tidemark {

// Every diffusion writes x0 = initial_value and draws nothing for a series
// of one value; the shock spec is checked only once a step is taken.

Status generate_ornstein_uhlenbeck(const OrnsteinUhlenbeckParams& p, uint64_t seed,
                                   std::span<double> out) {
  RandomStream stream(seed);
  if (out.empty()) return std::nullopt;
  out[0] = p.initial_value;
  if (out.size() == 1) return std::nullopt;
  const double v = p.sigma * std::sqrt(p.dt);
  const double mu = p.mu, theta = p.theta, dt = p.dt;
  const InnovationSampler shock(p.innov, 1.0);
  double x = p.initial_value;
  for (std::size_t i = 1; i < out.size(); ++i) {
    const double e = shock(stream);
    x = e * v + ((mu - x) * theta * dt + x);
    out[i] = x;
  }
  return std::nullopt;
}

Status generate_geometric_brownian_motion(const GeometricBrownianMotionParams& p, uint64_t seed,
                                          std::span<double> out) {
  RandomStream stream(seed);
  if (out.empty()) return std::nullopt;
  out[0] = p.initial_value;
  if (out.size() == 1) return std::nullopt;
  const double a = (p.mu + (-0.5 * p.sigma) * p.sigma) * p.dt;
  const double v = std::sqrt(p.dt) * p.sigma;
  const InnovationSampler shock(p.innov, 1.0);
  // Three passes over each cache-sized block (exponents, their
  // exponentials, the running product) keep the exp calls free of the
  // draws' branches; the values are those of x = x * exp(e * v + a).
  constexpr std::size_t kBlock = 2048;
  double x = p.initial_value;
  for (std::size_t start = 1; start < out.size(); start += kBlock) {
    const std::span<double> steps = out.subspan(start, std::min(kBlock, out.size() - start));
    for (double& step : steps) step = shock(stream) * v + a;
    for (double& step : steps) step = std::exp(step);
    for (double& step : steps) {
      x = x * step;
      step = x;
    }
  }
  return std::nullopt;
}

// The drift is not compensated for the mean jump.  With a jump rate <= 0
// no Poisson draw consumes anything, so the path is exactly the geometric
// Brownian motion of the same seed.
Status generate_jump_diffusion(const JumpDiffusionParams& p, uint64_t seed,
                               std::span<double> out) {
  RandomStream stream(seed);
  if (out.empty()) return std::nullopt;
  out[0] = p.initial_value;
  if (out.size() == 1) return std::nullopt;
  const double a = (p.mu + (-0.5 * p.sigma) * p.sigma) * p.dt;
  const double v = std::sqrt(p.dt) * p.sigma;
  const double jump_mean = p.jump_mean;
  // Constructed in the order of the first step's draws, so a bad shock spec
  // is reported before a bad jump rate.
  const InnovationSampler shock(p.innov, 1.0);
  const PoissonSampler jump_count(p.lambda_jump * p.dt);
  // The jump-size spec (scale jump_std) is checked at the first jump only.
  std::optional<InnovationSampler> jump_size;
  double x = p.initial_value;
  for (std::size_t i = 1; i < out.size(); ++i) {
    const double e = shock(stream);
    const int32_t n = jump_count(stream);
    double jump = 0.0;
    for (int32_t k = 0; k < n; ++k) {
      if (k % 65536 == 65535) interruption_point();  // up to 2^31 jumps in one step
      if (!jump_size) jump_size.emplace(p.innov, p.jump_std);
      jump = jump + ((*jump_size)(stream) + jump_mean);
    }
    x = x * std::exp((e * v + a) + jump);
    out[i] = x;
  }
  return std::nullopt;
}

}  // namespace tidemark
