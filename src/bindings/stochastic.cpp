// Python bindings of the stochastic-process generators.
#include "bindings/submodules.hpp"
#include "call_road/declaration.hpp"
#include "call_road/generator.hpp"
#include "generators/stochastic/cyclic_garch.hpp"
#include "generators/stochastic/diffusions.hpp"

namespace tidemark::py {
namespace {

constexpr Param kOrnsteinUhlenbeckParams[] = {
    {"length", Kind::Integer},     {"theta", Kind::Real},     {"mu", Kind::Real},
    {"sigma", Kind::Real},         {"initial_value", Kind::Real}, {"dt", Kind::Real},
    {"seed", Kind::Seed},          {"innov_dist", Kind::Integer}, {"innov_param", Kind::Real},
};
constexpr Signature kOrnsteinUhlenbeck{"ornstein_uhlenbeck", kOrnsteinUhlenbeckParams};

PyObject* ornstein_uhlenbeck(const Bound<kOrnsteinUhlenbeck>& a) {
  const int32_t length = a.integer<"length">();
  if (!check_length(length)) return nullptr;
  const OrnsteinUhlenbeckParams p{a.real<"theta">(),         a.real<"mu">(),
                                  a.real<"sigma">(),         a.real<"initial_value">(),
                                  a.real<"dt">(),
                                  {a.integer<"innov_dist">(), a.real<"innov_param">()}};
  return generate_values(length, [&](std::span<double> out) {
    return generate_ornstein_uhlenbeck(p, a.seed<"seed">(), out);
  });
}

constexpr Param kGeometricBrownianMotionParams[] = {
    {"length", Kind::Integer},        {"mu", Kind::Real},   {"sigma", Kind::Real},
    {"initial_value", Kind::Real},    {"dt", Kind::Real},   {"seed", Kind::Seed},
    {"innov_dist", Kind::Integer},    {"innov_param", Kind::Real},
};
constexpr Signature kGeometricBrownianMotion{"geometric_brownian_motion",
                                             kGeometricBrownianMotionParams};

PyObject* geometric_brownian_motion(const Bound<kGeometricBrownianMotion>& a) {
  const int32_t length = a.integer<"length">();
  if (!check_length(length)) return nullptr;
  const GeometricBrownianMotionParams p{a.real<"mu">(), a.real<"sigma">(),
                                        a.real<"initial_value">(), a.real<"dt">(),
                                        {a.integer<"innov_dist">(), a.real<"innov_param">()}};
  return generate_values(length, [&](std::span<double> out) {
    return generate_geometric_brownian_motion(p, a.seed<"seed">(), out);
  });
}

constexpr Param kJumpDiffusionParams[] = {
    {"length", Kind::Integer},     {"mu", Kind::Real},          {"sigma", Kind::Real},
    {"lambda_jump", Kind::Real},   {"jump_mean", Kind::Real},   {"jump_std", Kind::Real},
    {"initial_value", Kind::Real}, {"dt", Kind::Real},          {"seed", Kind::Seed},
    {"innov_dist", Kind::Integer}, {"innov_param", Kind::Real},
};
constexpr Signature kJumpDiffusion{"jump_diffusion", kJumpDiffusionParams};

PyObject* jump_diffusion(const Bound<kJumpDiffusion>& a) {
  const int32_t length = a.integer<"length">();
  if (!check_length(length)) return nullptr;
  const JumpDiffusionParams p{a.real<"mu">(),        a.real<"sigma">(),
                              a.real<"lambda_jump">(), a.real<"jump_mean">(),
                              a.real<"jump_std">(),  a.real<"initial_value">(),
                              a.real<"dt">(),
                              {a.integer<"innov_dist">(), a.real<"innov_param">()}};
  return generate_values(length, [&](std::span<double> out) {
    return generate_jump_diffusion(p, a.seed<"seed">(), out);
  });
}

constexpr Param kCyclicParams[] = {
    {"length", Kind::Integer},
    {"base_level", Kind::Real},
    {"trend", Kind::Real},
    {"cycle_period_mean", Kind::Real},
    {"cycle_period_std", Kind::Real},
    {"cycle_amplitude_mean", Kind::Real},
    {"cycle_amplitude_std", Kind::Real},
    {"num_cycles", Kind::Integer},
    {"noise_std", Kind::Real},
    {"seed", Kind::Seed},
    {"innov_dist", Kind::Integer},
    {"innov_param", Kind::Real},
};
constexpr Signature kCyclic{"cyclic", kCyclicParams};

PyObject* cyclic(const Bound<kCyclic>& a) {
  const int32_t length = a.integer<"length">();
  if (!check_length(length)) return nullptr;
  const CyclicParams p{a.real<"base_level">(),
                       a.real<"trend">(),
                       a.real<"cycle_period_mean">(),
                       a.real<"cycle_period_std">(),
                       a.real<"cycle_amplitude_mean">(),
                       a.real<"cycle_amplitude_std">(),
                       a.integer<"num_cycles">(),
                       a.real<"noise_std">(),
                       {a.integer<"innov_dist">(), a.real<"innov_param">()}};
  return generate_values(length, [&](std::span<double> out) {
    return generate_cyclic(p, a.seed<"seed">(), out);
  });
}

constexpr Param kGarchParams[] = {
    {"length", Kind::Integer},       {"p", Kind::Integer},
    {"q", Kind::Integer},            {"omega", Kind::Real},
    {"alpha_arr", Kind::RealArray},  {"beta_arr", Kind::RealArray},
    {"mu", Kind::Real},              {"initial_variance", Kind::Real},
    {"seed", Kind::Seed},            {"innov_dist", Kind::Integer},
    {"innov_param", Kind::Real},
};
constexpr Signature kGarch{"garch", kGarchParams};

PyObject* garch(const Bound<kGarch>& a) {
  const int32_t length = a.integer<"length">();
  if (!check_length(length)) return nullptr;
  auto alpha = a.copy<"alpha_arr">();
  if (!alpha) return nullptr;
  auto beta = a.copy<"beta_arr">();
  if (!beta) return nullptr;
  const GarchParams p{a.integer<"p">(), a.integer<"q">(),      a.real<"omega">(),
                      *alpha,           *beta,                 a.real<"mu">(),
                      a.real<"initial_variance">(),
                      {a.integer<"innov_dist">(), a.real<"innov_param">()}};
  return generate_values(length, [&](std::span<double> out) {
    return generate_garch(p, a.seed<"seed">(), out);
  });
}

constexpr FunctionEntry kFunctions[] = {
    function<kOrnsteinUhlenbeck, ornstein_uhlenbeck>(),
    function<kGeometricBrownianMotion, geometric_brownian_motion>(),
    function<kJumpDiffusion, jump_diffusion>(),
    function<kCyclic, cyclic>(),
    function<kGarch, garch>(),
};

}  // namespace

std::span<const FunctionEntry> stochastic_functions() { return kFunctions; }

}  // namespace tidemark::py
