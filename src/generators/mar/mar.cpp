#include "generators/mar/mar.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "core/integer_cast.hpp"
#include "core/internal_failure.hpp"
#include "generators/composite.hpp"
#include "rng/samplers.hpp"

namespace tidemark {
namespace {

// Slots of the scalar parameters.
enum Slot : std::size_t {
  kKMax = 0, kPMax, kPeriod, kConcentration, kInterceptSpread, kSigmaMin, kSigmaMax,
  kBurnIn, kStandardise, kFixedMode, kInnovDist, kInnovParam
};

// Steps simulated between slides of the history window: long burn-ins run
// in a bounded buffer instead of one of n + burn-in values.
constexpr std::size_t kWindowSteps = 4096;

// Truncated toward zero, saturated to [0, 2^64 - 1], NaN giving 0.
uint64_t to_count(double x) {
  if (!(x > 0.0)) return 0;
  if (x >= 18446744073709551616.0) return std::numeric_limits<uint64_t>::max();
  return static_cast<uint64_t>(x);
}

Status check_scalars(std::span<const double> s) {
  if (s.size() < kMarScalarCount) {
    return param_error("mar: expected >= 12 scalar params, got " + std::to_string(s.size()));
  }
  for (double x : s) {
    if (!std::isfinite(x)) return param_error("mar: scalar params must be finite");
  }
  const bool ok = s[kKMax] >= 1.0 && s[kKMax] <= 1e6 && s[kPMax] >= 1.0 && s[kPMax] <= 1e6 &&
                  s[kPeriod] >= 0.0 && s[kPeriod] <= 1e9 && s[kConcentration] > 0.0 &&
                  s[kInterceptSpread] >= 0.0 && s[kSigmaMin] > 0.0 &&
                  s[kSigmaMin] <= s[kSigmaMax] && s[kBurnIn] >= 0.0 && s[kBurnIn] <= 1e9;
  if (!ok) return param_error("mar: invalid configuration");
  return std::nullopt;
}

// Multiplies a(B) = 1 - phi_1 B - ... - phi_p B^p by (1 - R B^P):
// c_i = a_i + a_{i-P} * (-R) with a_0 = 1, a_i = -phi[i - 1] for i <= p and no
// term where an index falls outside; the new coefficients are -c_{j+1}.
// The lags strictly between the AR part and the factor are zero; their run
// [p, P - 1) is recorded so the simulation can skip it.
void apply_seasonal_factor(std::vector<double>& phi, std::vector<double>& out,
                           std::size_t period, double r, std::size_t& zero_begin,
                           std::size_t& zero_end) {
  const std::size_t p = phi.size();
  composite::require_memory(static_cast<double>(p) + static_cast<double>(period), 8.0);
  out.resize(p + period);
  for (std::size_t i = 1; i <= p + period; ++i) {
    double c = 0.0;
    if (i <= p && i >= period) {
      const double a_back = i == period ? 1.0 : -phi[i - period - 1];
      c = -phi[i - 1] + a_back * (-r);
    } else if (i <= p) {
      c = -phi[i - 1];
    } else if (i >= period) {
      const double a_back = i == period ? 1.0 : -phi[i - period - 1];
      c = a_back * (-r);
    }
    out[i - 1] = -c;
  }
  phi.swap(out);
  zero_begin = p;
  zero_end = period > p + 1 ? period - 1 : p;
}

}  // namespace

Status read_fixed_mar_config(std::span<const std::vector<double>> arrays, MarConfig& cfg) {
  const std::vector<double>& weights = arrays[0];
  const std::vector<double>& orders = arrays[1];
  const std::vector<double>& coefficients = arrays[2];
  const std::size_t k = weights.size();
  if (k == 0 || orders.size() != k || arrays[3].size() != k || arrays[4].size() != k) {
    return param_error("mar: inconsistent fixed component counts");
  }
  cfg.components.resize(k);
  uint64_t offset = 0;
  for (std::size_t c = 0; c < k; ++c) {
    const double d = orders[c];
    const uint64_t p = to_count(d);
    if (p > std::numeric_limits<uint64_t>::max() - offset) {
      return param_error("mar: fixed AR coefficient offset overflow");
    }
    if (!std::isfinite(d) || d != std::trunc(d) || p == 0 ||
        offset + p > coefficients.size()) {
      return param_error("mar: invalid fixed AR coefficient layout");
    }
    cfg.components[c].assign(coefficients.begin() + static_cast<std::ptrdiff_t>(offset),
                             coefficients.begin() + static_cast<std::ptrdiff_t>(offset + p));
    offset += p;
  }
  if (offset != coefficients.size()) return param_error("mar: unused fixed AR coefficients");
  cfg.weights = weights;
  cfg.intercepts = arrays[3];
  cfg.sigmas = arrays[4];
  cfg.zero_begin.assign(k, 0);
  cfg.zero_end.assign(k, 0);
  return std::nullopt;
}

void draw_mar_config(std::span<const double> s, RandomStream& stream, MarWorkspace& ws) {
  MarConfig& cfg = ws.config;
  const int32_t k_max = saturating_i32(s[kKMax]);
  const int32_t p_max = saturating_i32(s[kPMax]);
  const uint64_t period = to_count(s[kPeriod]);
  const std::size_t k = static_cast<std::size_t>(stream.sample_int_range(1, k_max + 1));

  // Symmetric Dirichlet weights from K gamma draws.
  const GammaSampler gamma(s[kConcentration], 1.0);
  cfg.weights.resize(k);
  double total = 0.0;
  for (double& w : cfg.weights) {
    w = gamma(stream);
    total = total + w;
  }
  for (double& w : cfg.weights) w = w / total;

  cfg.components.resize(k);
  cfg.zero_begin.assign(k, 0);
  cfg.zero_end.assign(k, 0);
  const double pacf_width = RandomStream::uniform_width(-0.9, 0.9);
  for (std::size_t c = 0; c < k; ++c) {
    const auto p = static_cast<std::size_t>(stream.sample_int_range(1, p_max + 1));
    std::vector<double>& phi = cfg.components[c];
    phi.clear();
    phi.reserve(p);
    ws.scratch.resize(p);
    // Durbin-Levinson: partial autocorrelations in (-0.9, 0.9) give a
    // stationary AR(p).
    for (std::size_t i = 1; i <= p; ++i) {
      const double r =
          RandomStream::clamp_below(stream.unit_mantissa() * pacf_width + -0.9, 0.9);
      std::copy(phi.begin(), phi.end(), ws.scratch.begin());
      for (std::size_t j = 0; j + 1 < i; ++j) phi[j] = ws.scratch[j] - r * ws.scratch[i - 2 - j];
      phi.push_back(r);
    }
    if (period >= 1 && sample_bernoulli(stream, 0.5)) {
      const double r = stream.sample_uniform(-0.9, 0.9);
      apply_seasonal_factor(phi, ws.scratch, static_cast<std::size_t>(period), r,
                            cfg.zero_begin[c], cfg.zero_end[c]);
    }
  }

  cfg.intercepts.resize(k);
  for (double& mu : cfg.intercepts) mu = s[kInterceptSpread] * stream.standard_normal();

  cfg.sigmas.resize(k);
  const double log_min = std::log(s[kSigmaMin]), log_max = std::log(s[kSigmaMax]);
  if (log_min != log_max) {
    for (double& sigma : cfg.sigmas) sigma = std::exp(stream.sample_uniform(log_min, log_max));
  } else {
    std::fill(cfg.sigmas.begin(), cfg.sigmas.end(), s[kSigmaMin]);
  }
}

namespace {

using Component = MarStepComponent;

// x[t] for t in [begin, end): one 53-bit uniform picks the component, then
// one innovation; the AR terms are added in lag order.
template <class Pick>
void run_steps(double* x, std::size_t begin, std::size_t end, const Component* comps,
               const InnovationSampler* shocks, const unsigned char* shock_ok,
               const InnovationSpec& innov, const double* sigmas, RandomStream& stream,
               Pick pick) {
  for (std::size_t t = begin; t < end; ++t) {
    const std::size_t k = pick(stream.uniform01());
    const Component& c = comps[k];
    const double* back = x + t - 1;  // back[-j] is the value j + 1 steps back
    double acc = c.phi[0] * back[0];
    for (std::size_t j = 1; j < c.head; ++j) acc = acc + c.phi[j] * back[-static_cast<std::ptrdiff_t>(j)];
    for (std::size_t j = c.tail_begin; j < c.order; ++j) {
      acc = acc + c.phi[j] * back[-static_cast<std::ptrdiff_t>(j)];
    }
    // A component whose scale the innovation check refuses fails here, when
    // it is first chosen, with the check's own message.
    const double e = shock_ok[k] ? shocks[k](stream) : draw_innovation(stream, innov, sigmas[k]);
    x[t] = (acc + c.intercept) + e;
  }
}

}  // namespace

void simulate_mar(std::span<double> values, const MarConfig& cfg, uint64_t burn_in,
                  const InnovationSpec& innov, RandomStream& stream, MarWorkspace& ws) {
  const std::size_t k = cfg.weights.size();
  std::size_t max_order = 0;
  for (const std::vector<double>& phi : cfg.components) max_order = std::max(max_order, phi.size());

  // Components flattened, cumulative weights, and one innovation sampler per
  // component built once per attempt (a refused scale is remembered and
  // reported only if the component is ever chosen).
  std::vector<MarStepComponent>& comps = ws.steps;
  comps.resize(k);
  ws.cumulative.resize(k);
  ws.shocks.clear();
  ws.shock_ok.assign(k, 1);
  double cumulative = 0.0;
  for (std::size_t c = 0; c < k; ++c) {
    cumulative = cumulative + cfg.weights[c];
    ws.cumulative[c] = cumulative;
    const std::vector<double>& phi = cfg.components[c];
    const std::size_t zb = cfg.zero_begin[c], ze = cfg.zero_end[c];
    comps[c] = Component{phi.data(), zb < ze ? zb : phi.size(), zb < ze ? ze : phi.size(),
                         phi.size(), cfg.intercepts[c]};
    try {
      ws.shocks.emplace_back(innov, cfg.sigmas[c]);
    } catch (const InternalFailure&) {
      ws.shocks.emplace_back(InnovationSpec{}, 0.0);
      ws.shock_ok[c] = 0;
    }
  }

  // The history window: max_order values of past plus room for a run of
  // steps; slid back whenever the burn-in outruns it.
  const std::size_t n = values.size();
  const double total_steps = static_cast<double>(burn_in) + static_cast<double>(n);
  const std::size_t room =
      std::max(n, total_steps <= static_cast<double>(kWindowSteps)
                      ? static_cast<std::size_t>(burn_in) + n
                      : kWindowSteps);
  composite::require_memory(static_cast<double>(max_order) + static_cast<double>(room), 8.0);
  const std::size_t capacity = max_order + room;
  ws.history.resize(capacity);
  double* x = ws.history.data();
  for (std::size_t i = 0; i < max_order; ++i) x[i] = stream.standard_normal();

  const double* cum = ws.cumulative.data();
  const std::size_t last = k - 1;
  auto pick = [cum, last](double u) {
    std::size_t c = 0;
    while (c < last && !(cum[c] > u)) ++c;
    return c;
  };
  auto run = [&](std::size_t begin, std::size_t end) {
    run_steps(x, begin, end, comps.data(), ws.shocks.data(), ws.shock_ok.data(), innov,
              cfg.sigmas.data(), stream, pick);
  };
  auto slide = [&](std::size_t pos) {
    std::copy(x + (pos - max_order), x + pos, x);
    return max_order;
  };

  std::size_t pos = max_order;
  uint64_t burn_left = burn_in;
  while (burn_left > 0) {
    if (pos == capacity) pos = slide(pos);
    const std::size_t steps =
        static_cast<std::size_t>(std::min<uint64_t>(burn_left, capacity - pos));
    run(pos, pos + steps);
    pos += steps;
    burn_left -= steps;
  }
  if (capacity - pos < n) pos = slide(pos);
  run(pos, pos + n);
  std::copy(x + pos, x + pos + n, values.begin());
}

Status generate_mar(std::span<double> values, std::span<const double> scalar_params,
                    std::span<const std::vector<double>> array_params, uint64_t seed) {
  MarWorkspace workspace;
  return generate_mar(values, scalar_params, array_params, seed, workspace);
}

Status generate_mar(std::span<double> values, std::span<const double> s,
                    std::span<const std::vector<double>> arrays, uint64_t seed,
                    MarWorkspace& ws) {
  if (Status refusal = check_scalars(s)) return refusal;
  const bool fixed = s[kFixedMode] != 0.0;
  if (fixed) {
    if (arrays.size() < kMarFixedArrayCount) {
      return param_error("mar: expected >= 5 array params in fixed mode, got " +
                         std::to_string(arrays.size()));
    }
    if (Status refusal = read_fixed_mar_config(arrays, ws.config)) return refusal;
  }

  RandomStream stream(seed);
  const uint64_t burn_in = to_count(s[kBurnIn]);
  const InnovationSpec innov{saturating_i32(s[kInnovDist]), s[kInnovParam]};
  const bool standardise = s[kStandardise] != 0.0;
  const std::size_t n = values.size();

  for (int attempt = 1; attempt <= kMarAttempts; ++attempt) {
    if (!fixed) draw_mar_config(s, stream, ws);
    simulate_mar(values, ws.config, burn_in, innov, stream, ws);
    if (!composite::finite_and_bounded(values)) continue;
    if (n < 2) return std::nullopt;
    const composite::Moments m = composite::population_moments(values);
    if (!(m.sd > composite::kMinSpread)) continue;
    if (standardise) composite::standardise(values, m);
    return std::nullopt;
  }
  if (fixed) {
    return param_error(
        "mar: fixed configuration produced no finite, bounded, non-constant series in 8 "
        "attempts");
  }
  for (double& v : values) v = stream.standard_normal();
  if (n >= 2 && standardise) {
    composite::standardise(values, composite::population_moments(values));
  }
  return std::nullopt;
}

}  // namespace tidemark
