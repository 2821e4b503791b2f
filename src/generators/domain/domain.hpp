// Domain simulators.  Each is one computational function shared by the
// direct Python call and (where it has one) its batch row: it seeds its own
// RandomStream from `seed` and fills `out`, whose size is the series length.
// A batch series may have length 0; it is returned empty before anything is
// drawn.  Sampler checks throw InternalFailure.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "core/param_error.hpp"

namespace tidemark {

struct IotSensorParams {
  double base_value = 0.0;
  double trend = 0.0;
  double amplitude = 0.0;
  double period = 0.0;  // no periodic component unless > 0
  double measurement_noise = 0.0;
  double drift_rate = 0.0;
  double drift_noise = 0.0;
  bool battery_degradation = false;
  double battery_life = 0.0;
  double battery_degradation_rate = 0.0;
  double calibration_offset = 0.0;
  int32_t failure_mode = 0;  // 1 permanent dropout, 2 bursts, 3 stuck; else none
  double failure_probability = 0.0;
  int32_t failure_duration = 0;
  std::optional<double> stuck_value;  // none: freeze the current reading
};
Status generate_iot_sensor(const IotSensorParams& p, uint64_t seed, std::span<double> out);

struct EnergyLoadParams {
  double base_load = 0.0;
  int32_t load_type = 0;
  bool daily_pattern = false;
  double daily_amplitude = 0.0;
  bool weekly_pattern = false;
  double weekly_amplitude = 0.0;
  bool yearly_pattern = false;
  double yearly_amplitude = 0.0;
  bool temperature_sensitive = false;
  double temperature_sensitivity = 0.0;
  double base_temperature = 0.0;
  int32_t morning_peak_hour = 0;
  int32_t evening_peak_hour = 0;
  double peak_amplitude = 0.0;
  double holiday_effect = 0.0;
  std::span<const int32_t> holiday_days;  // days of the year, 0-based
  double extreme_weather_prob = 0.0;
  double extreme_weather_impact = 1.0;
  double noise_std = 0.0;
  double step_hours = 1.0;
};
Status generate_energy_load(const EnergyLoadParams& p, uint64_t seed, std::span<double> out);

struct VitalSignsParams {
  double baseline_mean = 0.0;
  double baseline_std = 0.0;
  double min_val = 0.0;
  double max_val = 0.0;
  bool include_circadian = false;
  double circadian_magnitude = 0.0;
  bool include_hrv = false;
  bool include_events = false;
  double event_probability = 0.0;
  int32_t vital_sign_type = 0;
};
Status generate_vital_signs(const VitalSignsParams& p, uint64_t seed, std::span<double> out);

struct ClickstreamParams {
  double base_sessions = 0.0;
  double conversion_mult = 1.0;
  double bounce_mult = 1.0;
  double depth_mult = 1.0;
  double seasonality_amp = 0.0;
  double conversion_rate = 0.0;
  double bounce_rate = 0.0;
  double avg_session_depth = 2.0;
  bool include_seasonality = false;
  bool include_bots = false;
  double bot_fraction = 0.0;
  int32_t output_type = 0;  // 1 page views, 2 conversions, 3 bounce rate; else sessions
};
Status generate_clickstream(const ClickstreamParams& p, uint64_t seed, std::span<double> out);

struct DailyActiveUsersParams {
  double base_users = 0.0;
  double growth_rate = 0.0;
  double weekend_factor = 1.0;
  bool weekly_pattern = false;
  double event_probability = 0.0;
  double event_impact_min = 1.0;
  double event_impact_max = 2.0;
  double event_decay_rate = 0.0;
  double noise_std = 0.0;
  double step_hours = 24.0;
};
// Fills `values` and, one per step, `event_starts` (1 where an event
// started); both have the series length.
Status generate_daily_active_users(const DailyActiveUsersParams& p, uint64_t seed,
                                   std::span<double> values, std::span<int32_t> event_starts);

struct IntermittentDemandParams {
  double demand_probability = 0.0;
  int32_t demand_distribution = 0;  // 1 negative binomial, 2 lognormal, 3 gamma; else Poisson
  double demand_mean = 0.0;
  double demand_std = 0.0;
  int32_t intermittent_pattern = 0;  // 0 independent, 1 clustered, 2 seasonal; else none
  int32_t cluster_size = 0;
  int32_t seasonal_period = 0;
  double seasonal_peak_prob = 0.0;
  double min_demand = 0.0;  // NaN: no floor
};
Status generate_intermittent_demand(const IntermittentDemandParams& p, uint64_t seed,
                                    std::span<double> out);

}  // namespace tidemark
