#include "pattern_injection/pattern_injection.hpp"

namespace tidemark {

Status check_changepoint_params(int32_t num_changepoints) {
  if (num_changepoints < 0) return param_error("num_changepoints must be >= 0");
  return std::nullopt;
}

Status check_anomaly_params(double anomaly_fraction, int32_t level_shift_duration) {
  if (anomaly_fraction < 0.0) return param_error("anomaly_fraction must be >= 0");
  if (level_shift_duration < 0) return param_error("level_shift_duration must be >= 0");
  return std::nullopt;
}

// Disabled steps never run, so their fields are not held against the config.
Status check_pattern_config(const PatternConfig& config) {
  if (config.changepoints) {
    if (Status s = check_changepoint_params(config.num_changepoints)) return s;
  }
  if (config.anomalies) {
    if (Status s = check_anomaly_params(config.anomaly_fraction, config.level_shift_duration)) {
      return s;
    }
  }
  return std::nullopt;
}

}  // namespace tidemark
