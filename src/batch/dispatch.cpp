// generate_series: one table row per GenType.  A row names the generator
// for messages, the minimum parameter counts, and an adapter that turns the
// flat slots into the generator's parameter struct.
#include <array>
#include <string>

#include "batch/batch.hpp"
#include "core/integer_cast.hpp"
#include "generators/mar/mar.hpp"
#include "generators/statistical/statistical.hpp"
#include "generators/tcm/tcm.hpp"
#include "generators/tsi/tsi.hpp"

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
