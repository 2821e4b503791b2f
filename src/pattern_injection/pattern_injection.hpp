// Changepoints, anomalies and missing values injected into a series in
// place; each function seeds its own RandomStream and returns the positions
// it touched.  Shared by the Python functions and the batch engine.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "core/param_error.hpp"
#include "rng/random_stream.hpp"

namespace tidemark {

// The parsed pi_config dictionary of a batch group; fields as the keys.
struct PatternConfig {
  bool changepoints = false;
  int32_t num_changepoints = 0;
  std::string changepoint_type = "level";
  std::vector<double> changepoint_locations;
  std::vector<double> changepoint_level_changes;
  std::vector<double> changepoint_trend_changes;
  std::vector<double> changepoint_variance_changes;

  bool anomalies = false;
  std::vector<std::string> anomaly_types;
  double anomaly_fraction = 0.0;
  double spike_magnitude = 0.0;
  double dip_magnitude = 0.0;
  double level_shift_magnitude = 0.0;
  int32_t level_shift_duration = 0;

  bool missing_data = false;
  std::string missing_pattern = "random";
  double missing_rate = 0.0;
  int32_t missing_block_size = 1;
  int32_t missing_seasonal_period = 1;
};

// Refusals for counts that have no meaning (negative); the messages name the
// parameter.  Checked by the Python functions and, for enabled steps, when a
// batch config is parsed.
Status check_changepoint_params(int32_t num_changepoints);
Status check_anomaly_params(double anomaly_fraction, int32_t level_shift_duration);
Status check_pattern_config(const PatternConfig& config);

// k distinct positions below n in draw order (Floyd's algorithm).
std::vector<int64_t> sample_distinct_indices(RandomStream& s, int64_t n, int64_t k);

std::vector<int64_t> inject_changepoints(std::span<double> values, uint64_t seed,
                                         int32_t num_changepoints,
                                         std::span<const double> locations,
                                         const std::string& changepoint_type,
                                         std::span<const double> level_changes,
                                         std::span<const double> trend_changes,
                                         std::span<const double> variance_changes);

std::vector<int64_t> inject_anomalies(std::span<double> values, uint64_t seed,
                                      std::span<const std::string> anomaly_types,
                                      double anomaly_fraction, double spike_magnitude,
                                      double dip_magnitude, double level_shift_magnitude,
                                      int32_t level_shift_duration);

// Throws InternalFailure for a seasonal period or block size below 1 when
// the pattern reaches them (the Python function refuses these beforehand).
std::vector<int64_t> inject_missingness(std::span<double> values, uint64_t seed,
                                        const std::string& pattern, double missing_rate,
                                        int32_t missing_block_size,
                                        int32_t missing_seasonal_period);

}  // namespace tidemark
