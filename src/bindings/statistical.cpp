// Python bindings of the statistical generators.
#include "call_road/declaration.hpp"
#include "call_road/generator.hpp"
#include "generators/statistical/statistical.hpp"
#include "bindings/submodules.hpp"

namespace tidemark::py {
namespace {

constexpr Param kRandomWalkParams[] = {
    {"length", Kind::Integer},    {"drift", Kind::Real}, {"volatility", Kind::Real},
    {"start_value", Kind::Real},  {"seed", Kind::Seed},  {"innov_dist", Kind::Integer},
    {"innov_param", Kind::Real},
};
constexpr Signature kRandomWalk{"random_walk", kRandomWalkParams};

PyObject* random_walk(const Bound<kRandomWalk>& a) {
  const int32_t length = a.integer<"length">();
  if (!check_length(length)) return nullptr;
  const RandomWalkParams p{a.real<"drift">(), a.real<"volatility">(), a.real<"start_value">(),
                           {a.integer<"innov_dist">(), a.real<"innov_param">()}};
  return generate_values(length, [&](std::span<double> out) {
    return generate_random_walk(p, a.seed<"seed">(), out);
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

PyObject* seasonal(const Bound<kSeasonal>& a) {
  const int32_t length = a.integer<"length">();
  if (!check_length(length)) return nullptr;
  if (a.integer<"seasonality_period">() < 1) {
    raise_value_error("seasonality_period must be > 0");
    return nullptr;
  }
  const SeasonalParams p{a.integer<"seasonality_period">(), a.real<"seasonality_amplitude">(),
                         a.real<"trend">(),                 a.real<"noise_level">(),
                         a.real<"base_level">(),
                         {a.integer<"innov_dist">(), a.real<"innov_param">()}};
  return generate_values(length, [&](std::span<double> out) {
    return generate_seasonal(p, a.seed<"seed">(), out);
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

PyObject* sarima(const Bound<kSarima>& a) {
  const int32_t length = a.integer<"length">();
  if (!check_length(length)) return nullptr;
  auto ar = a.copy<"full_ar_poly">();
  if (!ar) return nullptr;
  auto ma = a.copy<"full_ma_poly">();
  if (!ma) return nullptr;
  SarimaParams p;
  p.ar = std::move(*ar);
  p.ma = std::move(*ma);
  p.d = a.integer<"d">();
  p.seasonal_d = a.integer<"seasonal_d">();
  p.seasonal_period = a.integer<"seasonal_period">();
  p.mean = a.real<"mean">();
  p.drift = a.real<"drift_val">();
  p.noise_std = a.real<"noise_std">();
  p.burn_in = a.integer<"burn_in">();
  p.innov = {a.integer<"innov_dist">(), a.real<"innov_param">()};
  if (Status refused = check_sarima_params(p, static_cast<std::size_t>(length))) {
    raise_value_error(refused->message);
    return nullptr;
  }
  return generate_values(length, [&](std::span<double> out) {
    return generate_sarima(p, a.seed<"seed">(), out);
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

PyObject* ets(const Bound<kEts>& a) {
  const int32_t length = a.integer<"length">();
  if (!check_length(length)) return nullptr;
  if (a.integer<"seasonal_period">() < 1) {
    raise_value_error("seasonal_period must be > 0");
    return nullptr;
  }
  auto seasonal_init = a.copy<"seasonal_init">();
  if (!seasonal_init) return nullptr;
  EtsParams p;
  p.error_type = a.integer<"error_type">();
  p.trend_type = a.integer<"trend_type">();
  p.seasonal_type = a.integer<"seasonal_type">();
  p.seasonal_period = a.integer<"seasonal_period">();
  p.level = a.real<"level">();
  p.trend_init = a.real<"trend_init">();
  p.seasonal_init = std::move(*seasonal_init);
  p.alpha = a.real<"alpha">();
  p.beta = a.real<"beta_param">();
  p.gamma = a.real<"gamma">();
  p.phi = a.real<"phi">();
  p.damped = a.flag<"damped">();
  p.noise_std = a.real<"noise_std">();
  p.innov = {a.integer<"innov_dist">(), a.real<"innov_param">()};
  return generate_values(length, [&](std::span<double> out) {
    return generate_ets(p, a.seed<"seed">(), out);
  });
}

constexpr Param kInarParams[] = {
    {"length", Kind::Integer},       {"p", Kind::Integer},
    {"alpha_arr", Kind::RealArray},  {"innov_type", Kind::Integer},
    {"innov_mean", Kind::Real},      {"innov_dispersion", Kind::Real},
    {"seed", Kind::Seed},
};
constexpr Signature kInar{"inar", kInarParams};

PyObject* inar(const Bound<kInar>& a) {
  const int32_t length = a.integer<"length">();
  if (!check_length(length)) return nullptr;
  if (a.integer<"p">() < 1) {
    raise_value_error("p must be > 0");
    return nullptr;
  }
  auto alpha = a.copy<"alpha_arr">();
  if (!alpha) return nullptr;
  const InarParams p{a.integer<"p">(), std::move(*alpha), a.integer<"innov_type">(),
                     a.real<"innov_mean">(), a.real<"innov_dispersion">()};
  if (Status refused = check_inar_params(p, static_cast<std::size_t>(length))) {
    raise_value_error(refused->message);
    return nullptr;
  }
  return generate_values(length, [&](std::span<double> out) {
    return generate_inar(p, a.seed<"seed">(), out);
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
