// generate_series: one table row per GenType.  A row names the generator
// for messages, the minimum parameter counts, and an adapter that turns the
// flat slots into the generator's parameter struct.
#include <array>
#include <string>
#include <vector>

#include "batch/batch.hpp"
#include "core/integer_cast.hpp"
#include "generators/domain/domain.hpp"
#include "generators/mar/mar.hpp"
#include "generators/multivariate/multivariate.hpp"
#include "generators/statistical/statistical.hpp"
#include "generators/stochastic/cyclic_garch.hpp"
#include "generators/stochastic/diffusions.hpp"
#include "generators/stochastic/stochastic_processes.hpp"
#include "generators/tcm/tcm.hpp"
#include "generators/tsi/tsi.hpp"
#include "generators/volatility/volatility.hpp"

namespace tidemark {

namespace {

using Scalars = std::span<const double>;
using Arrays = std::span<const std::vector<double>>;
using Adapter = Status (*)(Scalars s, Arrays a, uint64_t seed, std::span<double> out);

struct GeneratorRow {
  GenType code;
  const char* name;
  std::size_t min_scalars;
  std::size_t min_arrays;
  Adapter run;
};

// Slot conventions shared by every row.
int32_t to_int(double slot) { return saturating_i32(slot); }
bool to_flag(double slot) { return slot != 0.0; }  // NaN counts as set
InnovationSpec innovation(double code_slot, double param_slot) {
  return InnovationSpec{to_int(code_slot), param_slot};
}

Status run_random_walk(Scalars s, Arrays, uint64_t seed, std::span<double> out) {
  RandomWalkParams p;
  p.drift = s[0];
  p.volatility = s[1];
  p.start_value = s[2];
  p.innov = innovation(s[3], s[4]);
  return generate_random_walk(p, seed, out);
}

Status run_seasonal(Scalars s, Arrays, uint64_t seed, std::span<double> out) {
  SeasonalParams p;
  p.seasonality_period = to_int(s[0]);
  p.seasonality_amplitude = s[1];
  p.trend = s[2];
  p.noise_level = s[3];
  p.base_level = s[4];
  p.innov = innovation(s[5], s[6]);
  return generate_seasonal(p, seed, out);
}

Status run_sarima(Scalars s, Arrays a, uint64_t seed, std::span<double> out) {
  SarimaParams p;
  p.ar = a[0];
  p.ma = a[1];
  p.d = to_int(s[0]);
  p.seasonal_d = to_int(s[1]);
  p.seasonal_period = to_int(s[2]);
  p.mean = s[3];
  p.drift = s[4];
  p.noise_std = s[5];
  p.burn_in = to_int(s[6]);
  p.innov = innovation(s[7], s[8]);
  return generate_sarima(p, seed, out);
}

Status run_ets(Scalars s, Arrays a, uint64_t seed, std::span<double> out) {
  EtsParams p;
  p.error_type = to_int(s[0]);
  p.trend_type = to_int(s[1]);
  p.seasonal_type = to_int(s[2]);
  p.seasonal_period = to_int(s[3]);
  p.level = s[4];
  p.trend_init = s[5];
  p.alpha = s[6];
  p.beta = s[7];
  p.gamma = s[8];
  p.phi = s[9];
  p.damped = to_flag(s[10]);
  p.noise_std = s[11];
  p.innov = innovation(s[12], s[13]);
  p.seasonal_init = a[0];
  return generate_ets(p, seed, out);
}

Status run_inar(Scalars s, Arrays a, uint64_t seed, std::span<double> out) {
  InarParams p;
  p.p = to_int(s[0]);
  p.innov_type = to_int(s[1]);
  p.innov_mean = s[2];
  p.innov_dispersion = s[3];
  p.alpha = a[0];
  return generate_inar(p, seed, out);
}

Status run_ornstein_uhlenbeck(Scalars s, Arrays, uint64_t seed, std::span<double> out) {
  OrnsteinUhlenbeckParams p;
  p.theta = s[0];
  p.mu = s[1];
  p.sigma = s[2];
  p.initial_value = s[3];
  p.dt = s[4];
  p.innov = innovation(s[5], s[6]);
  return generate_ornstein_uhlenbeck(p, seed, out);
}

Status run_geometric_brownian_motion(Scalars s, Arrays, uint64_t seed, std::span<double> out) {
  GeometricBrownianMotionParams p;
  p.mu = s[0];
  p.sigma = s[1];
  p.initial_value = s[2];
  p.dt = s[3];
  p.innov = innovation(s[4], s[5]);
  return generate_geometric_brownian_motion(p, seed, out);
}

Status run_jump_diffusion(Scalars s, Arrays, uint64_t seed, std::span<double> out) {
  JumpDiffusionParams p;
  p.mu = s[0];
  p.sigma = s[1];
  p.lambda_jump = s[2];
  p.jump_mean = s[3];
  p.jump_std = s[4];
  p.initial_value = s[5];
  p.dt = s[6];
  p.innov = innovation(s[7], s[8]);
  return generate_jump_diffusion(p, seed, out);
}

Status run_cyclic(Scalars s, Arrays, uint64_t seed, std::span<double> out) {
  CyclicParams p;
  p.base_level = s[0];
  p.trend = s[1];
  p.cycle_period_mean = s[2];
  p.cycle_period_std = s[3];
  p.cycle_amplitude_mean = s[4];
  p.cycle_amplitude_std = s[5];
  p.num_cycles = to_int(s[6]);
  p.noise_std = s[7];
  p.innov = innovation(s[8], s[9]);
  return generate_cyclic(p, seed, out);
}

Status run_garch(Scalars s, Arrays a, uint64_t seed, std::span<double> out) {
  GarchParams p;
  p.p = to_int(s[0]);
  p.q = to_int(s[1]);
  p.omega = s[2];
  p.mu = s[3];
  p.initial_variance = s[4];
  p.innov = innovation(s[5], s[6]);
  p.alpha = a[0];
  p.beta = a[1];
  return generate_garch(p, seed, out);
}

Status run_stochastic_volatility(Scalars s, Arrays, uint64_t seed, std::span<double> out) {
  StochasticVolatilityParams p;
  p.model_type = to_int(s[0]);
  p.initial_price = s[1];
  p.initial_vol = s[2];
  p.drift = s[3];
  p.mean_vol = s[4];
  p.vol_mean_reversion = s[5];
  p.vol_of_vol = s[6];
  p.correlation = s[7];
  p.beta = s[8];
  p.dt = s[9];
  p.output_type = to_int(s[10]);
  p.innov = innovation(s[11], s[12]);
  return generate_stochastic_volatility(p, seed, out);
}

// The binding's checks on n_regimes and stationary_probs do not apply here;
// the generator itself refuses any regime its arrays cannot serve.
Status run_regime_switching(Scalars s, Arrays a, uint64_t seed, std::span<double> out) {
  RegimeSwitchingParams p;
  p.n_regimes = to_int(s[0]);
  p.initial_regime = to_int(s[1]);
  p.innov = innovation(s[2], s[3]);
  p.means = a[0];
  p.variances = a[1];
  p.ar_coeffs = a[2];
  p.transition = a[3];
  p.stationary = a[4];
  return generate_regime_switching(p, seed, out);
}

Status run_poisson_process(Scalars s, Arrays, uint64_t seed, std::span<double> out) {
  PoissonProcessParams p;
  p.lambda_rate = s[0];
  p.cumulative = to_flag(s[1]);
  return generate_poisson_process(p, seed, out);
}

Status run_hawkes_process(Scalars s, Arrays, uint64_t seed, std::span<double> out) {
  HawkesParams p;
  p.baseline_intensity = s[0];
  p.excitation_amplitude = s[1];
  p.decay_rate = s[2];
  p.kernel_type = to_int(s[3]);
  p.power_law_exponent = s[4];
  p.output_type = to_int(s[5]);
  p.max_events = to_int(s[6]);
  return generate_hawkes_process(p, seed, out);
}

Status run_chaotic_system(Scalars s, Arrays, uint64_t seed, std::span<double> out) {
  ChaoticParams p;
  p.system_id = to_int(s[0]);
  p.sigma = s[1];
  p.rho = s[2];
  p.beta = s[3];
  p.dt = s[4];
  p.logistic_r = s[5];
  p.mg_beta = s[6];
  p.mg_gamma = s[7];
  p.mg_n = s[8];
  p.mg_tau = to_int(s[9]);
  p.observation_noise = s[10];
  p.initial_perturbation = s[11];
  return generate_chaotic_system(p, seed, out);
}

// No lower < upper check here: batch rows skip the binding's validations.
Status run_bounded_process(Scalars s, Arrays, uint64_t seed, std::span<double> out) {
  BoundedParams p;
  p.model_id = to_int(s[0]);
  p.phi = s[1];
  p.omega = s[2];
  p.kappa = s[3];
  p.sigma_param = s[4];
  p.initial_value = s[5];
  p.lower = s[6];
  p.upper = s[7];
  return generate_bounded_process(p, seed, out);
}

Status run_levy_process(Scalars s, Arrays, uint64_t seed, std::span<double> out) {
  LevyParams p;
  p.alpha = s[0];
  p.beta_skew = s[1];
  p.scale = s[2];
  p.location = s[3];
  p.cumulative = to_flag(s[4]);
  p.initial_value = s[5];
  return generate_levy_process(p, seed, out);
}

Status run_intermittent_demand(Scalars s, Arrays, uint64_t seed, std::span<double> out) {
  IntermittentDemandParams p;
  p.demand_probability = s[0];
  p.demand_distribution = to_int(s[1]);
  p.demand_mean = s[2];
  p.demand_std = s[3];
  p.intermittent_pattern = to_int(s[4]);
  p.cluster_size = to_int(s[5]);
  p.seasonal_period = to_int(s[6]);
  p.seasonal_peak_prob = s[7];
  p.min_demand = s[8];
  return generate_intermittent_demand(p, seed, out);
}

// Holidays come from the optional array 0, each entry converted like an
// integer slot.
Status run_energy_load(Scalars s, Arrays a, uint64_t seed, std::span<double> out) {
  std::vector<int32_t> holidays;
  if (!a.empty()) {
    holidays.reserve(a[0].size());
    for (const double day : a[0]) holidays.push_back(to_int(day));
  }
  EnergyLoadParams p;
  p.base_load = s[0];
  p.load_type = to_int(s[1]);
  p.daily_pattern = to_flag(s[2]);
  p.daily_amplitude = s[3];
  p.weekly_pattern = to_flag(s[4]);
  p.weekly_amplitude = s[5];
  p.yearly_pattern = to_flag(s[6]);
  p.yearly_amplitude = s[7];
  p.temperature_sensitive = to_flag(s[8]);
  p.temperature_sensitivity = s[9];
  p.base_temperature = s[10];
  p.morning_peak_hour = to_int(s[11]);
  p.evening_peak_hour = to_int(s[12]);
  p.peak_amplitude = s[13];
  p.holiday_effect = s[14];
  p.holiday_days = holidays;
  p.extreme_weather_prob = s[15];
  p.extreme_weather_impact = s[16];
  p.noise_std = s[17];
  p.step_hours = s[18];
  return generate_energy_load(p, seed, out);
}

Status run_vital_signs(Scalars s, Arrays, uint64_t seed, std::span<double> out) {
  VitalSignsParams p;
  p.baseline_mean = s[0];
  p.baseline_std = s[1];
  p.min_val = s[2];
  p.max_val = s[3];
  p.include_circadian = to_flag(s[4]);
  p.circadian_magnitude = s[5];
  p.include_hrv = to_flag(s[6]);
  p.include_events = to_flag(s[7]);
  p.event_probability = s[8];
  p.vital_sign_type = to_int(s[9]);
  return generate_vital_signs(p, seed, out);
}

Status run_clickstream(Scalars s, Arrays, uint64_t seed, std::span<double> out) {
  ClickstreamParams p;
  p.base_sessions = s[0];
  p.conversion_mult = s[1];
  p.bounce_mult = s[2];
  p.depth_mult = s[3];
  p.seasonality_amp = s[4];
  p.conversion_rate = s[5];
  p.bounce_rate = s[6];
  p.avg_session_depth = s[7];
  p.include_seasonality = to_flag(s[8]);
  p.include_bots = to_flag(s[9]);
  p.bot_fraction = s[10];
  p.output_type = to_int(s[11]);
  return generate_clickstream(p, seed, out);
}

// A slot used as a count of dimensions: truncated toward zero and saturated
// to the unsigned 64-bit range; negative values and NaN give 0.
uint64_t to_count(double slot) {
  if (!(slot > 0.0)) return 0;
  if (slot >= 18446744073709551616.0) return UINT64_MAX;
  return static_cast<uint64_t>(slot);
}

Status run_state_space(Scalars s, Arrays a, uint64_t seed, std::span<double> out) {
  StateSpaceParams p;
  p.state_dim = to_count(s[0]);
  p.obs_dim = to_count(s[1]);
  p.innov = innovation(s[2], s[3]);
  p.f_mat = a[0];
  p.h_mat = a[1];
  p.q_mat = a[2];
  p.r_mat = a[3];
  p.initial_state = a[4];
  p.initial_state_cov = a[5];
  return generate_state_space(p, seed, out);
}

Status run_fbm(Scalars s, Arrays, uint64_t seed, std::span<double> out) {
  FbmParams p;
  p.hurst = s[0];
  p.sigma = s[1];
  p.initial_value = s[2];
  p.cumulative = to_flag(s[3]);
  p.method = to_int(s[4]);
  return generate_fbm(p, seed, out);
}

Status run_gaussian_process(Scalars s, Arrays, uint64_t seed, std::span<double> out) {
  GaussianProcessParams p;
  p.kernel_id = to_int(s[0]);
  p.length_scale = s[1];
  p.amplitude = s[2];
  p.period = s[3];
  p.mean = s[4];
  p.noise_variance = s[5];
  return generate_gaussian_process(p, seed, out);
}

// The composite generators read their slots themselves.
Status run_tsi(Scalars s, Arrays a, uint64_t seed, std::span<double> out) {
  generate_tsi(out, s, a, seed);
  return std::nullopt;
}

Status run_tcm(Scalars s, Arrays a, uint64_t seed, std::span<double> out) {
  generate_tcm(out, s, a, seed);
  return std::nullopt;
}

Status run_mar(Scalars s, Arrays a, uint64_t seed, std::span<double> out) {
  return generate_mar(out, s, a, seed);
}

constexpr std::array kGenerators = {
    GeneratorRow{0, "random_walk", 5, 0, run_random_walk},
    GeneratorRow{1, "seasonal", 7, 0, run_seasonal},
    GeneratorRow{2, "sarima", 9, 2, run_sarima},
    GeneratorRow{3, "ets", 14, 1, run_ets},
    GeneratorRow{4, "inar", 4, 1, run_inar},
    GeneratorRow{5, "ornstein_uhlenbeck", 7, 0, run_ornstein_uhlenbeck},
    GeneratorRow{6, "geometric_brownian_motion", 6, 0, run_geometric_brownian_motion},
    GeneratorRow{7, "jump_diffusion", 9, 0, run_jump_diffusion},
    GeneratorRow{8, "poisson_process", 2, 0, run_poisson_process},
    GeneratorRow{9, "cyclic", 10, 0, run_cyclic},
    GeneratorRow{10, "garch", 7, 2, run_garch},
    GeneratorRow{11, "hawkes_process", 7, 0, run_hawkes_process},
    GeneratorRow{12, "chaotic_system", 12, 0, run_chaotic_system},
    GeneratorRow{13, "bounded_process", 8, 0, run_bounded_process},
    GeneratorRow{14, "levy_process", 6, 0, run_levy_process},
    GeneratorRow{15, "stochastic_volatility", 13, 0, run_stochastic_volatility},
    GeneratorRow{16, "regime_switching", 4, 5, run_regime_switching},
    GeneratorRow{19, "state_space", 4, 6, run_state_space},
    GeneratorRow{20, "fbm", 5, 0, run_fbm},
    GeneratorRow{21, "gaussian_process", 6, 0, run_gaussian_process},
    GeneratorRow{22, "intermittent_demand", 9, 0, run_intermittent_demand},
    GeneratorRow{24, "energy_load", 19, 0, run_energy_load},
    GeneratorRow{25, "vital_signs", 10, 0, run_vital_signs},
    GeneratorRow{27, "clickstream", 12, 0, run_clickstream},
    GeneratorRow{28, "tsi", kTsiScalarCount, kTsiArrayCount, run_tsi},
    GeneratorRow{29, "tcm", kTcmScalarCount, kTcmArrayCount, run_tcm},
    GeneratorRow{30, "mar", kMarScalarCount, 0, run_mar},
};

const GeneratorRow* find_row(GenType code) {
  for (const GeneratorRow& row : kGenerators) {
    if (row.code == code) return &row;
  }
  return nullptr;
}

Status count_error(const GeneratorRow& row, std::size_t min, const char* what,
                   std::size_t got) {
  return param_error(std::string(row.name) + ": expected >= " + std::to_string(min) + " " +
                     what + " params, got " + std::to_string(got));
}

}  // namespace

Status generate_series(GenType type, std::span<const double> scalars,
                       std::span<const std::vector<double>> arrays, uint64_t seed,
                       std::span<double> out) {
  const GeneratorRow* row = find_row(type);
  if (row == nullptr) return param_error("unknown generator type: " + std::to_string(type));
  if (scalars.size() < row->min_scalars) {
    return count_error(*row, row->min_scalars, "scalar", scalars.size());
  }
  if (arrays.size() < row->min_arrays) {
    return count_error(*row, row->min_arrays, "array", arrays.size());
  }
  return row->run(scalars, arrays, seed, out);
}

}  // namespace tidemark
