// Python bindings of the domain simulators.
#include "bindings/submodules.hpp"
#include "call_road/declaration.hpp"
#include "call_road/generator.hpp"
#include "generators/domain/domain.hpp"

namespace tidemark::py {
namespace {

constexpr Param kIntermittentDemandParams[] = {
    {"length", Kind::Integer},
    {"demand_probability", Kind::Real},
    {"demand_distribution", Kind::Integer},
    {"demand_mean", Kind::Real},
    {"demand_std", Kind::Real},
    {"intermittent_pattern", Kind::Integer},
    {"cluster_size", Kind::Integer},
    {"seasonal_period", Kind::Integer},
    {"seasonal_peak_prob", Kind::Real},
    {"min_demand", Kind::Real},
    {"seed", Kind::Seed},
};
constexpr Signature kIntermittentDemand{"intermittent_demand", kIntermittentDemandParams};

PyObject* intermittent_demand(const Bound<kIntermittentDemand>& a) {
  const int32_t length = a.integer<"length">();
  if (!check_length(length)) return nullptr;
  IntermittentDemandParams p;
  p.demand_probability = a.real<"demand_probability">();
  p.demand_distribution = a.integer<"demand_distribution">();
  p.demand_mean = a.real<"demand_mean">();
  p.demand_std = a.real<"demand_std">();
  p.intermittent_pattern = a.integer<"intermittent_pattern">();
  p.cluster_size = a.integer<"cluster_size">();
  p.seasonal_period = a.integer<"seasonal_period">();
  p.seasonal_peak_prob = a.real<"seasonal_peak_prob">();
  p.min_demand = a.real<"min_demand">();
  return generate_values(length, [&](std::span<double> out) {
    return generate_intermittent_demand(p, a.seed<"seed">(), out);
  });
}

constexpr Param kDailyActiveUsersParams[] = {
    {"length", Kind::Integer},
    {"base_users", Kind::Real},
    {"growth_rate", Kind::Real},
    {"weekend_factor", Kind::Real},
    {"weekly_pattern", Kind::Flag},
    {"event_probability", Kind::Real},
    {"event_impact_min", Kind::Real},
    {"event_impact_max", Kind::Real},
    {"event_decay_rate", Kind::Real},
    {"noise_std", Kind::Real},
    {"step_hours", Kind::Real},
    {"seed", Kind::Seed},
};
constexpr Signature kDailyActiveUsers{"daily_active_users", kDailyActiveUsersParams};

// Returns (values, event-start flags as int32).
PyObject* daily_active_users(const Bound<kDailyActiveUsers>& a) {
  const int32_t length = a.integer<"length">();
  if (!check_length(length)) return nullptr;
  if (a.real<"step_hours">() <= 0.0) {
    raise_value_error("step_hours must be > 0");
    return nullptr;
  }
  DailyActiveUsersParams p;
  p.base_users = a.real<"base_users">();
  p.growth_rate = a.real<"growth_rate">();
  p.weekend_factor = a.real<"weekend_factor">();
  p.weekly_pattern = a.flag<"weekly_pattern">();
  p.event_probability = a.real<"event_probability">();
  p.event_impact_min = a.real<"event_impact_min">();
  p.event_impact_max = a.real<"event_impact_max">();
  p.event_decay_rate = a.real<"event_decay_rate">();
  p.noise_std = a.real<"noise_std">();
  p.step_hours = a.real<"step_hours">();
  std::vector<double> values;
  std::vector<int32_t> starts;
  const bool ok = run_released([&]() -> Status {
    const auto n = static_cast<std::size_t>(length);
    values.assign(n, 0.0);
    starts.assign(n, 0);
    return generate_daily_active_users(p, a.seed<"seed">(), values, starts);
  });
  if (!ok) return nullptr;
  PyObject* values_array = adopt_array(std::move(values));
  if (values_array == nullptr) return nullptr;
  PyObject* starts_array = adopt_array(std::move(starts));
  if (starts_array == nullptr) {
    Py_DECREF(values_array);
    return nullptr;
  }
  PyObject* result = PyTuple_Pack(2, values_array, starts_array);
  Py_DECREF(values_array);
  Py_DECREF(starts_array);
  return result;
}

constexpr Param kEnergyLoadParams[] = {
    {"length", Kind::Integer},
    {"base_load", Kind::Real},
    {"load_type", Kind::Integer},
    {"daily_pattern", Kind::Flag},
    {"daily_amplitude", Kind::Real},
    {"weekly_pattern", Kind::Flag},
    {"weekly_amplitude", Kind::Real},
    {"yearly_pattern", Kind::Flag},
    {"yearly_amplitude", Kind::Real},
    {"temperature_sensitive", Kind::Flag},
    {"temperature_sensitivity", Kind::Real},
    {"base_temperature", Kind::Real},
    {"morning_peak_hour", Kind::Integer},
    {"evening_peak_hour", Kind::Integer},
    {"peak_amplitude", Kind::Real},
    {"holiday_effect", Kind::Real},
    {"holiday_days", Kind::Int32Array},
    {"extreme_weather_prob", Kind::Real},
    {"extreme_weather_impact", Kind::Real},
    {"noise_std", Kind::Real},
    {"step_hours", Kind::Real},
    {"seed", Kind::Seed},
};
constexpr Signature kEnergyLoad{"energy_load", kEnergyLoadParams};

PyObject* energy_load(const Bound<kEnergyLoad>& a) {
  const int32_t length = a.integer<"length">();
  if (!check_length(length)) return nullptr;
  if (a.real<"step_hours">() <= 0.0) {
    raise_value_error("step_hours must be > 0");
    return nullptr;
  }
  auto holidays = a.copy<"holiday_days">();
  if (!holidays) return nullptr;
  EnergyLoadParams p;
  p.base_load = a.real<"base_load">();
  p.load_type = a.integer<"load_type">();
  p.daily_pattern = a.flag<"daily_pattern">();
  p.daily_amplitude = a.real<"daily_amplitude">();
  p.weekly_pattern = a.flag<"weekly_pattern">();
  p.weekly_amplitude = a.real<"weekly_amplitude">();
  p.yearly_pattern = a.flag<"yearly_pattern">();
  p.yearly_amplitude = a.real<"yearly_amplitude">();
  p.temperature_sensitive = a.flag<"temperature_sensitive">();
  p.temperature_sensitivity = a.real<"temperature_sensitivity">();
  p.base_temperature = a.real<"base_temperature">();
  p.morning_peak_hour = a.integer<"morning_peak_hour">();
  p.evening_peak_hour = a.integer<"evening_peak_hour">();
  p.peak_amplitude = a.real<"peak_amplitude">();
  p.holiday_effect = a.real<"holiday_effect">();
  p.holiday_days = *holidays;
  p.extreme_weather_prob = a.real<"extreme_weather_prob">();
  p.extreme_weather_impact = a.real<"extreme_weather_impact">();
  p.noise_std = a.real<"noise_std">();
  p.step_hours = a.real<"step_hours">();
  return generate_values(length, [&](std::span<double> out) {
    return generate_energy_load(p, a.seed<"seed">(), out);
  });
}

constexpr Param kVitalSignsParams[] = {
    {"length", Kind::Integer},
    {"baseline_mean", Kind::Real},
    {"baseline_std", Kind::Real},
    {"min_val", Kind::Real},
    {"max_val", Kind::Real},
    {"include_circadian", Kind::Flag},
    {"circadian_magnitude", Kind::Real},
    {"include_hrv", Kind::Flag},
    {"include_events", Kind::Flag},
    {"event_probability", Kind::Real},
    {"vital_sign_type", Kind::Integer},
    {"seed", Kind::Seed},
};
constexpr Signature kVitalSigns{"vital_signs", kVitalSignsParams};

PyObject* vital_signs(const Bound<kVitalSigns>& a) {
  const int32_t length = a.integer<"length">();
  if (!check_length(length)) return nullptr;
  VitalSignsParams p;
  p.baseline_mean = a.real<"baseline_mean">();
  p.baseline_std = a.real<"baseline_std">();
  p.min_val = a.real<"min_val">();
  p.max_val = a.real<"max_val">();
  p.include_circadian = a.flag<"include_circadian">();
  p.circadian_magnitude = a.real<"circadian_magnitude">();
  p.include_hrv = a.flag<"include_hrv">();
  p.include_events = a.flag<"include_events">();
  p.event_probability = a.real<"event_probability">();
  p.vital_sign_type = a.integer<"vital_sign_type">();
  return generate_values(length, [&](std::span<double> out) {
    return generate_vital_signs(p, a.seed<"seed">(), out);
  });
}

constexpr Param kIotSensorParams[] = {
    {"length", Kind::Integer},
    {"base_value", Kind::Real},
    {"trend", Kind::Real},
    {"amplitude", Kind::Real},
    {"period", Kind::Real},
    {"measurement_noise", Kind::Real},
    {"drift_rate", Kind::Real},
    {"drift_noise", Kind::Real},
    {"battery_degradation", Kind::Flag},
    {"battery_life", Kind::Real},
    {"battery_degradation_rate", Kind::Real},
    {"calibration_offset", Kind::Real},
    {"failure_mode", Kind::Integer},
    {"failure_probability", Kind::Real},
    {"failure_duration", Kind::Integer},
    {"stuck_value", Kind::OptionalReal},
    {"spatial_correlation", Kind::Real},
    {"seed", Kind::Seed},
};
constexpr Signature kIotSensor{"iot_sensor", kIotSensorParams};

// spatial_correlation is converted (so a wrong type is still refused) and
// otherwise unused: one sensor has nothing to correlate with.
PyObject* iot_sensor(const Bound<kIotSensor>& a) {
  const int32_t length = a.integer<"length">();
  if (!check_length(length)) return nullptr;
  IotSensorParams p;
  p.base_value = a.real<"base_value">();
  p.trend = a.real<"trend">();
  p.amplitude = a.real<"amplitude">();
  p.period = a.real<"period">();
  p.measurement_noise = a.real<"measurement_noise">();
  p.drift_rate = a.real<"drift_rate">();
  p.drift_noise = a.real<"drift_noise">();
  p.battery_degradation = a.flag<"battery_degradation">();
  p.battery_life = a.real<"battery_life">();
  p.battery_degradation_rate = a.real<"battery_degradation_rate">();
  p.calibration_offset = a.real<"calibration_offset">();
  p.failure_mode = a.integer<"failure_mode">();
  p.failure_probability = a.real<"failure_probability">();
  p.failure_duration = a.integer<"failure_duration">();
  p.stuck_value = a.optional_real<"stuck_value">();
  return generate_values(length, [&](std::span<double> out) {
    return generate_iot_sensor(p, a.seed<"seed">(), out);
  });
}

constexpr Param kClickstreamParams[] = {
    {"length", Kind::Integer},
    {"base_sessions", Kind::Real},
    {"conversion_mult", Kind::Real},
    {"bounce_mult", Kind::Real},
    {"depth_mult", Kind::Real},
    {"seasonality_amp", Kind::Real},
    {"conversion_rate", Kind::Real},
    {"bounce_rate", Kind::Real},
    {"avg_session_depth", Kind::Real},
    {"include_seasonality", Kind::Flag},
    {"include_bots", Kind::Flag},
    {"bot_fraction", Kind::Real},
    {"output_type", Kind::Integer},
    {"seed", Kind::Seed},
};
constexpr Signature kClickstream{"clickstream", kClickstreamParams};

PyObject* clickstream(const Bound<kClickstream>& a) {
  const int32_t length = a.integer<"length">();
  if (!check_length(length)) return nullptr;
  ClickstreamParams p;
  p.base_sessions = a.real<"base_sessions">();
  p.conversion_mult = a.real<"conversion_mult">();
  p.bounce_mult = a.real<"bounce_mult">();
  p.depth_mult = a.real<"depth_mult">();
  p.seasonality_amp = a.real<"seasonality_amp">();
  p.conversion_rate = a.real<"conversion_rate">();
  p.bounce_rate = a.real<"bounce_rate">();
  p.avg_session_depth = a.real<"avg_session_depth">();
  p.include_seasonality = a.flag<"include_seasonality">();
  p.include_bots = a.flag<"include_bots">();
  p.bot_fraction = a.real<"bot_fraction">();
  p.output_type = a.integer<"output_type">();
  return generate_values(length, [&](std::span<double> out) {
    return generate_clickstream(p, a.seed<"seed">(), out);
  });
}

constexpr FunctionEntry kFunctions[] = {
    function<kIntermittentDemand, intermittent_demand>(),
    function<kDailyActiveUsers, daily_active_users>(),
    function<kEnergyLoad, energy_load>(),
    function<kVitalSigns, vital_signs>(),
    function<kIotSensor, iot_sensor>(),
    function<kClickstream, clickstream>(),
};

}  // namespace

std::span<const FunctionEntry> domain_functions() { return kFunctions; }

}  // namespace tidemark::py
