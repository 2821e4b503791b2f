// Python bindings of the statistical generators.
#include "call_road/declaration.hpp"
#include "call_road/generator.hpp"
#include "generators/statistical/statistical.hpp"
#include "submodules.hpp"

namespace tidemark::py {
namespace {

constexpr Param kRandomWalkParams[] = {
    {"length", Kind::Integer},    {"drift", Kind::Real}, {"volatility", Kind::Real},
    {"start_value", Kind::Real},  {"seed", Kind::Seed},  {"innov_dist", Kind::Integer},
    {"innov_param", Kind::Real},
};
constexpr Signature kRandomWalk{"random_walk", kRandomWalkParams};

PyObject* random_walk(Args& a) {
  if (!check_length(a.integer(0))) return nullptr;
  const RandomWalkParams p{a.real(1), a.real(2), a.real(3), {a.integer(5), a.real(6)}};
  return generate_values(a.integer(0), [&](std::span<double> out) {
    return generate_random_walk(p, a.seed(4), out);
  });
}

constexpr Param kSeasonalParams[] = {
    {"length", Kind::Integer},
    {"seasonality_period", Kind::Integer},
    {"seasonality_amplitude", Kind::Real},
    {"trend", Kind::Real},
    {"noise_level", Kind::Real},
    {"base_level", Kind::Real},
    {"seed", Kind::Seed},
    {"innov_dist", Kind::Integer, "0"},
    {"innov_param", Kind::Real, "0.0"},
};
constexpr Signature kSeasonal{"seasonal", kSeasonalParams};

PyObject* seasonal(Args& a) {
  if (!check_length(a.integer(0))) return nullptr;
  if (a.integer(1) < 1) {
    raise_value_error("seasonality_period must be > 0");
    return nullptr;
  }
  const SeasonalParams p{a.integer(1), a.real(2), a.real(3), a.real(4), a.real(5),
                         {a.integer(7), a.real(8)}};
  return generate_values(a.integer(0), [&](std::span<double> out) {
    return generate_seasonal(p, a.seed(6), out);
  });
}

constexpr Param kSarimaParams[] = {
    {"length", Kind::Integer},        {"full_ar_poly", Kind::RealArray},
    {"full_ma_poly", Kind::RealArray}, {"d", Kind::Integer},
    {"seasonal_d", Kind::Integer},     {"seasonal_period", Kind::Integer},
    {"mean", Kind::Real},              {"drift_val", Kind::Real},
    {"noise_std", Kind::Real},         {"burn_in", Kind::Integer},
    {"seed", Kind::Seed},              {"innov_dist", Kind::Integer},
    {"innov_param", Kind::Real},
};
constexpr Signature kSarima{"sarima", kSarimaParams};

PyObject* sarima(Args& a) {
  if (!check_length(a.integer(0))) return nullptr;
  auto ar = copy_array<double>(a.object(1));
  if (!ar) return nullptr;
  auto ma = copy_array<double>(a.object(2));
  if (!ma) return nullptr;
  SarimaParams p;
  p.ar = *ar;
  p.ma = *ma;
  p.d = a.integer(3);
  p.seasonal_d = a.integer(4);
  p.seasonal_period = a.integer(5);
  p.mean = a.real(6);
  p.drift = a.real(7);
  p.noise_std = a.real(8);
  p.burn_in = a.integer(9);
  p.innov = {a.integer(11), a.real(12)};
  if (Status refused = check_sarima_params(p, static_cast<std::size_t>(a.integer(0)))) {
    raise_value_error(refused->message);
    return nullptr;
  }
  return generate_values(a.integer(0), [&](std::span<double> out) {
    return generate_sarima(p, a.seed(10), out);
  });
}

constexpr Param kEtsParams[] = {
    {"length", Kind::Integer},        {"error_type", Kind::Integer},
    {"trend_type", Kind::Integer},    {"seasonal_type", Kind::Integer},
    {"seasonal_period", Kind::Integer}, {"level", Kind::Real},
    {"trend_init", Kind::Real},       {"seasonal_init", Kind::RealArray},
    {"alpha", Kind::Real},            {"beta_param", Kind::Real},
    {"gamma", Kind::Real},            {"phi", Kind::Real},
    {"damped", Kind::Flag},           {"noise_std", Kind::Real},
    {"seed", Kind::Seed},             {"innov_dist", Kind::Integer},
    {"innov_param", Kind::Real},
};
constexpr Signature kEts{"ets", kEtsParams};

PyObject* ets(Args& a) {
  if (!check_length(a.integer(0))) return nullptr;
  if (a.integer(4) < 1) {
    raise_value_error("seasonal_period must be > 0");
    return nullptr;
  }
  auto seasonal_init = copy_array<double>(a.object(7));
  if (!seasonal_init) return nullptr;
  EtsParams p;
  p.error_type = a.integer(1);
  p.trend_type = a.integer(2);
  p.seasonal_type = a.integer(3);
  p.seasonal_period = a.integer(4);
  p.level = a.real(5);
  p.trend_init = a.real(6);
  p.seasonal_init = *seasonal_init;
  p.alpha = a.real(8);
  p.beta = a.real(9);
  p.gamma = a.real(10);
  p.phi = a.real(11);
  p.damped = a.flag(12);
  p.noise_std = a.real(13);
  p.innov = {a.integer(15), a.real(16)};
  return generate_values(a.integer(0), [&](std::span<double> out) {
    return generate_ets(p, a.seed(14), out);
  });
}

constexpr Param kInarParams[] = {
    {"length", Kind::Integer},       {"p", Kind::Integer},
    {"alpha_arr", Kind::RealArray},  {"innov_type", Kind::Integer},
    {"innov_mean", Kind::Real},      {"innov_dispersion", Kind::Real},
    {"seed", Kind::Seed},
};
constexpr Signature kInar{"inar", kInarParams};

PyObject* inar(Args& a) {
  if (!check_length(a.integer(0))) return nullptr;
  if (a.integer(1) < 1) {
    raise_value_error("p must be > 0");
    return nullptr;
  }
  auto alpha = copy_array<double>(a.object(2));
  if (!alpha) return nullptr;
  const InarParams p{a.integer(1), *alpha, a.integer(3), a.real(4), a.real(5)};
  return generate_values(a.integer(0), [&](std::span<double> out) {
    return generate_inar(p, a.seed(6), out);
  });
}

constexpr FunctionEntry kFunctions[] = {
    function<kRandomWalk, random_walk>(), function<kSeasonal, seasonal>(),
    function<kSarima, sarima>(),          function<kEts, ets>(),
    function<kInar, inar>(),
};

}  // namespace

std::span<const FunctionEntry> statistical_functions() { return kFunctions; }

}  // namespace tidemark::py
