// Chaotic systems: logistic map, discrete Mackey-Glass, Lorenz (RK4).
// Transients are run through without being stored; only the kept values
// touch the output.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

#include "core/interrupt.hpp"
#include "core/internal_failure.hpp"
#include "generators/stochastic/stochastic_processes.hpp"
#include "rng/samplers.hpp"

namespace tidemark {
namespace {

constexpr int64_t kMapTransient = 500;
constexpr int64_t kLorenzTransient = 1000;
constexpr int64_t kMaxStride = 100000;

void logistic_map(const ChaoticParams& p, RandomStream& s, std::span<double> out) {
  const double r = p.logistic_r;
  const double z = s.standard_normal();
  // Clamped with the start first, so a NaN start stays NaN.
  double x = std::min(std::max(p.initial_perturbation * z + 0.5, 0.01), 0.99);
  for (int64_t k = 0; k < kMapTransient; ++k) x = (1.0 - x) * (r * x);
  for (double& value : out) {
    x = (1.0 - x) * (r * x);
    value = x;
  }
}

void mackey_glass(const ChaoticParams& p, RandomStream& s, std::span<double> out) {
  if (p.mg_tau < 0) internal_failure("chaotic_system: mg_tau must be >= 0");
  const double z = s.standard_normal();
  const double x0 = p.initial_perturbation * z + 1.2;
  const int64_t steps = static_cast<int64_t>(out.size()) + kMapTransient;
  // Slots at or past `steps` would only ever be read before being written,
  // giving x0 like every unwritten slot: the ring never needs to be longer.
  const int64_t ring_size = std::min(static_cast<int64_t>(p.mg_tau) + 1, steps);
  std::vector<double> ring(static_cast<std::size_t>(ring_size), x0);
  double x = x0;
  std::size_t slot = 0;
  for (int64_t k = 0; k < steps; ++k) {
    const double d = ring[slot];  // the value from tau + 1 steps back
    x = x + ((p.mg_beta * d) / (std::pow(d, p.mg_n) + 1.0) - p.mg_gamma * x);
    ring[slot] = x;
    if (++slot == ring.size()) slot = 0;
    if (k >= kMapTransient) out[static_cast<std::size_t>(k - kMapTransient)] = x;
  }
}

void lorenz(const ChaoticParams& p, RandomStream& s, std::span<double> out) {
  const double n1 = s.standard_normal();
  const double n2 = s.standard_normal();
  const double n3 = s.standard_normal();
  const double eps = p.initial_perturbation;
  double x = 1.0 + eps * n1, y = 1.0 + eps * n2, z = 1.0 + eps * n3;

  const double sigma = p.sigma, rho = p.rho, beta = p.beta, h = p.dt;
  const double half = 0.5 * h;
  const double weight = h / 6.0;
  const int64_t stride = lorenz_stride(h);
  const int64_t records = static_cast<int64_t>(out.size()) + kLorenzTransient;
  for (int64_t rec = 0; rec < records; ++rec) {
    for (int64_t step = 0; step < stride; ++step) {
      if (step % 65536 == 0) interruption_point();  // a tiny dt means 10^5 steps a value
      const double k1x = sigma * (y - x), k1y = x * (rho - z) - y, k1z = x * y - beta * z;
      const double x2 = x + half * k1x, y2 = y + half * k1y, z2 = z + half * k1z;
      const double k2x = sigma * (y2 - x2), k2y = x2 * (rho - z2) - y2, k2z = x2 * y2 - beta * z2;
      const double x3 = x + half * k2x, y3 = y + half * k2y, z3 = z + half * k2z;
      const double k3x = sigma * (y3 - x3), k3y = x3 * (rho - z3) - y3, k3z = x3 * y3 - beta * z3;
      const double x4 = x + h * k3x, y4 = y + h * k3y, z4 = z + h * k3z;
      const double k4x = sigma * (y4 - x4), k4y = x4 * (rho - z4) - y4, k4z = x4 * y4 - beta * z4;
      x = x + ((2.0 * k3x + (k1x + 2.0 * k2x)) + k4x) * weight;
      y = y + ((2.0 * k3y + (k1y + 2.0 * k2y)) + k4y) * weight;
      z = z + ((2.0 * k3z + (k1z + 2.0 * k2z)) + k4z) * weight;
    }
    if (rec >= kLorenzTransient) out[static_cast<std::size_t>(rec - kLorenzTransient)] = x;
  }
}

}  // namespace

// 1 / dt truncated to 64 bits (saturating, NaN 0), then kept in [1, 100000].
int64_t lorenz_stride(double dt) {
  const double per_unit = 1.0 / dt;
  int64_t stride = 0;
  if (per_unit >= 9223372036854775808.0) {
    stride = std::numeric_limits<int64_t>::max();
  } else if (per_unit < -9223372036854775808.0) {
    stride = std::numeric_limits<int64_t>::min();
  } else if (!std::isnan(per_unit)) {
    stride = static_cast<int64_t>(per_unit);
  }
  return std::clamp<int64_t>(stride, 1, kMaxStride);
}

Status generate_chaotic_system(const ChaoticParams& p, uint64_t seed, std::span<double> out) {
  RandomStream stream(seed);
  if (p.system_id == 1) {
    logistic_map(p, stream, out);
  } else if (p.system_id == 2) {
    mackey_glass(p, stream, out);
  } else {
    lorenz(p, stream, out);
  }
  if (p.observation_noise > 0.0) {
    for (double& value : out) value = value + sample_normal(stream, 0.0, p.observation_noise);
  }
  return std::nullopt;
}

}  // namespace tidemark
