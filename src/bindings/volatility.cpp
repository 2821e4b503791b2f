// Python bindings of the volatility generators.
#include "bindings/submodules.hpp"
#include "call_road/declaration.hpp"
#include "call_road/errors.hpp"
#include "call_road/generator.hpp"
#include "generators/volatility/volatility.hpp"

namespace tidemark::py {
namespace {

constexpr Param kStochasticVolatilityParams[] = {
    {"length", Kind::Integer},
    {"model_type", Kind::Integer},
    {"initial_price", Kind::Real},
    {"initial_vol", Kind::Real},
    {"drift", Kind::Real},
    {"mean_vol", Kind::Real},
    {"vol_mean_reversion", Kind::Real},
    {"vol_of_vol", Kind::Real},
    {"correlation", Kind::Real},
    {"beta_param", Kind::Real},
    {"dt", Kind::Real},
    {"output_type", Kind::Integer},
    {"seed", Kind::Seed},
    {"innov_dist", Kind::Integer},
    {"innov_param", Kind::Real},
};
constexpr Signature kStochasticVolatility{"stochastic_volatility", kStochasticVolatilityParams};

PyObject* stochastic_volatility(const Bound<kStochasticVolatility>& a) {
  const int32_t length = a.integer<"length">();
  if (!check_length(length)) return nullptr;
  const StochasticVolatilityParams p{a.integer<"model_type">(),
                                     a.real<"initial_price">(),
                                     a.real<"initial_vol">(),
                                     a.real<"drift">(),
                                     a.real<"mean_vol">(),
                                     a.real<"vol_mean_reversion">(),
                                     a.real<"vol_of_vol">(),
                                     a.real<"correlation">(),
                                     a.real<"beta_param">(),
                                     a.real<"dt">(),
                                     a.integer<"output_type">(),
                                     {a.integer<"innov_dist">(), a.real<"innov_param">()}};
  return generate_values(length, [&](std::span<double> out) {
    return generate_stochastic_volatility(p, a.seed<"seed">(), out);
  });
}

constexpr Param kRegimeSwitchingParams[] = {
    {"length", Kind::Integer},
    {"n_regimes", Kind::Integer},
    {"regime_means", Kind::RealArray},
    {"regime_variances", Kind::RealArray},
    {"regime_ar_coeffs", Kind::RealArray},
    {"transition_matrix", Kind::RealArray},
    {"stationary_probs", Kind::RealArray},
    {"initial_regime", Kind::Integer},
    {"seed", Kind::Seed},
    {"innov_dist", Kind::Integer},
    {"innov_param", Kind::Real},
};
constexpr Signature kRegimeSwitching{
    "regime_switching", kRegimeSwitchingParams,
    "`initial_regime < 0` draws the starting regime from `stationary_probs`\n"
    "(which must then have at least `n_regimes` entries)."};

PyObject* regime_switching(const Bound<kRegimeSwitching>& a) {
  const int32_t length = a.integer<"length">();
  if (!check_length(length)) return nullptr;
  const int32_t n_regimes = a.integer<"n_regimes">();
  if (n_regimes < 1) {
    raise_value_error("n_regimes must be > 0");
    return nullptr;
  }
  auto means = a.copy<"regime_means">();
  if (!means) return nullptr;
  auto variances = a.copy<"regime_variances">();
  if (!variances) return nullptr;
  auto ar_coeffs = a.copy<"regime_ar_coeffs">();
  if (!ar_coeffs) return nullptr;
  auto transition = a.copy<"transition_matrix">();
  if (!transition) return nullptr;
  auto stationary = a.copy<"stationary_probs">();
  if (!stationary) return nullptr;
  const int32_t initial_regime = a.integer<"initial_regime">();
  if (initial_regime < 0 && stationary->size() < static_cast<std::size_t>(n_regimes)) {
    raise_value_error("stationary_probs must have n_regimes entries when initial_regime < 0");
    return nullptr;
  }
  const RegimeSwitchingParams p{n_regimes,   *means,      *variances,
                                *ar_coeffs,  *transition, *stationary,
                                initial_regime,
                                {a.integer<"innov_dist">(), a.real<"innov_param">()}};
  return generate_values(length, [&](std::span<double> out) {
    return generate_regime_switching(p, a.seed<"seed">(), out);
  });
}

constexpr FunctionEntry kFunctions[] = {
    function<kStochasticVolatility, stochastic_volatility>(),
    function<kRegimeSwitching, regime_switching>(),
};

}  // namespace

std::span<const FunctionEntry> volatility_functions() { return kFunctions; }

}  // namespace tidemark::py
