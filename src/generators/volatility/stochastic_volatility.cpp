#include <cmath>
#include <cstddef>

#include "generators/volatility/volatility.hpp"
#include "rng/random_stream.hpp"

namespace tidemark {
namespace {

constexpr double kFloor = 1e-10;

// max(v, floor) inside the recursion: a NaN state stays NaN, so a broken
// parameter (|correlation| > 1, say) shows as a NaN path.
double at_least(double v, double floor) { return v < floor ? floor : v; }
// The returned Heston volatility sqrt(max(V, 0)): NaN and -0.0 give +0.0.
double volatility_of(double variance) { return std::sqrt(variance > 0.0 ? variance : 0.0); }

struct Step {
  double sqrt_dt;
  double rho;
  double rho_bar;
};

// One series for a fixed model; `emit(i, s_prev, s, v)` writes element i.
template <bool Heston, class Emit>
void simulate(const StochasticVolatilityParams& p, const Step& k, RandomStream& stream,
              double s, double v, std::size_t n, Emit emit) {
  const InnovationSampler shock(p.innov, 1.0);
  const double mu = p.drift, theta = p.mean_vol, kappa = p.vol_mean_reversion;
  const double xi = p.vol_of_vol, beta = p.beta, dt = p.dt;
  for (std::size_t i = 1; i < n; ++i) {
    const double z1 = shock(stream);
    const double z2 = shock(stream);
    const double dw1 = z1 * k.sqrt_dt;
    const double dw2 = (z2 * k.rho_bar + k.rho * z1) * k.sqrt_dt;
    double s_next, v_next;
    if constexpr (Heston) {
      // Full truncation: the diffusion sees max(V, 0), the update adds to V.
      const double v_plus = at_least(v, 0.0);
      const double vol = std::sqrt(v_plus);
      s_next = s + ((s * vol) * dw1 + (mu * s) * dt);
      v_next = v + ((vol * xi) * dw2 + ((theta - v_plus) * kappa) * dt);
    } else {
      const double sigma_f = at_least(v, kFloor);
      const double f = at_least(std::fabs(s), kFloor);
      s_next = s + (std::pow(f, beta) * sigma_f) * dw1;
      v_next = v + (sigma_f * xi) * dw2;
    }
    emit(i, s, s_next, v_next);
    s = s_next;
    v = v_next;
  }
}

double log_return(double s_prev, double s) {
  return (s > 0.0 && s_prev > 0.0) ? std::log(s / s_prev) : 0.0;
}

template <bool Heston>
void run_model(const StochasticVolatilityParams& p, const Step& k, RandomStream& stream,
               double s0, double v0, std::span<double> out) {
  const std::size_t n = out.size();
  double* x = out.data();
  switch (p.output_type) {
    case 0:
      simulate<Heston>(p, k, stream, s0, v0, n,
                       [x](std::size_t i, double, double s, double) { x[i] = s; });
      break;
    case 1:
      simulate<Heston>(p, k, stream, s0, v0, n, [x](std::size_t i, double s_prev, double s,
                                                    double) { x[i] = log_return(s_prev, s); });
      break;
    default:
      simulate<Heston>(p, k, stream, s0, v0, n, [x](std::size_t i, double, double, double v) {
        x[i] = Heston ? volatility_of(v) : v;
      });
      break;
  }
}

}  // namespace

Status generate_stochastic_volatility(const StochasticVolatilityParams& p, uint64_t seed,
                                      std::span<double> out) {
  RandomStream stream(seed);
  if (out.empty()) return std::nullopt;
  const bool heston = p.model_type == 0;
  const double s0 = p.initial_price;
  const double v0 = p.model_type == 1 ? std::sqrt(p.initial_vol) : p.initial_vol;
  switch (p.output_type) {
    case 0: out[0] = s0; break;
    case 1: out[0] = 0.0; break;
    default: out[0] = heston ? volatility_of(v0) : v0; break;
  }
  if (out.size() == 1) return std::nullopt;
  // |rho| > 1 makes rho_bar NaN and with it the whole path.
  const Step k{std::sqrt(p.dt), p.correlation, std::sqrt(1.0 - p.correlation * p.correlation)};
  if (heston) {
    run_model<true>(p, k, stream, s0, v0, out);
  } else {
    run_model<false>(p, k, stream, s0, v0, out);
  }
  return std::nullopt;
}

}  // namespace tidemark
