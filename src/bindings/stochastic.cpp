// Python bindings of the stochastic-process generators.
#include "bindings/submodules.hpp"
#include "call_road/declaration.hpp"
#include "call_road/generator.hpp"
#include "generators/stochastic/cyclic_garch.hpp"
#include "generators/stochastic/diffusions.hpp"
#include "generators/stochastic/stochastic_processes.hpp"

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

constexpr Param kPoissonProcessParams[] = {
    {"length", Kind::Integer},
    {"lambda_rate", Kind::Real},
    {"cumulative", Kind::Flag},
    {"seed", Kind::Seed},
};
constexpr Signature kPoissonProcess{"poisson_process", kPoissonProcessParams};

PyObject* poisson_process(const Bound<kPoissonProcess>& a) {
  const int32_t length = a.integer<"length">();
  if (!check_length(length)) return nullptr;
  const PoissonProcessParams p{a.real<"lambda_rate">(), a.flag<"cumulative">()};
  return generate_values(length, [&](std::span<double> out) {
    return generate_poisson_process(p, a.seed<"seed">(), out);
  });
}

constexpr Param kHawkesProcessParams[] = {
    {"length", Kind::Integer},
    {"baseline_intensity", Kind::Real},
    {"excitation_amplitude", Kind::Real},
    {"decay_rate", Kind::Real},
    {"kernel_type", Kind::Integer},
    {"power_law_exponent", Kind::Real},
    {"output_type", Kind::Integer},
    {"max_events", Kind::Integer},
    {"seed", Kind::Seed},
};
constexpr Signature kHawkesProcess{"hawkes_process", kHawkesProcessParams};

PyObject* hawkes_process(const Bound<kHawkesProcess>& a) {
  const int32_t length = a.integer<"length">();
  if (!check_length(length)) return nullptr;
  const HawkesParams p{a.real<"baseline_intensity">(), a.real<"excitation_amplitude">(),
                       a.real<"decay_rate">(),         a.integer<"kernel_type">(),
                       a.real<"power_law_exponent">(), a.integer<"output_type">(),
                       a.integer<"max_events">()};
  return generate_values(length, [&](std::span<double> out) {
    return generate_hawkes_process(p, a.seed<"seed">(), out);
  });
}

constexpr Param kChaoticSystemParams[] = {
    {"length", Kind::Integer},
    {"system_id", Kind::Integer},
    {"sigma", Kind::Real},
    {"rho", Kind::Real},
    {"beta", Kind::Real},
    {"dt", Kind::Real},
    {"logistic_r", Kind::Real},
    {"mg_beta", Kind::Real},
    {"mg_gamma", Kind::Real},
    {"mg_n", Kind::Real},
    {"mg_tau", Kind::Integer},
    {"observation_noise", Kind::Real},
    {"initial_perturbation", Kind::Real},
    {"seed", Kind::Seed},
};
constexpr Signature kChaoticSystem{"chaotic_system", kChaoticSystemParams};

PyObject* chaotic_system(const Bound<kChaoticSystem>& a) {
  const int32_t length = a.integer<"length">();
  if (!check_length(length)) return nullptr;
  ChaoticParams p;
  p.system_id = a.integer<"system_id">();
  p.sigma = a.real<"sigma">();
  p.rho = a.real<"rho">();
  p.beta = a.real<"beta">();
  p.dt = a.real<"dt">();
  p.logistic_r = a.real<"logistic_r">();
  p.mg_beta = a.real<"mg_beta">();
  p.mg_gamma = a.real<"mg_gamma">();
  p.mg_n = a.real<"mg_n">();
  p.mg_tau = a.integer<"mg_tau">();
  p.observation_noise = a.real<"observation_noise">();
  p.initial_perturbation = a.real<"initial_perturbation">();
  return generate_values(length, [&](std::span<double> out) {
    return generate_chaotic_system(p, a.seed<"seed">(), out);
  });
}

constexpr Param kBoundedProcessParams[] = {
    {"length", Kind::Integer},
    {"model_id", Kind::Integer},
    {"phi", Kind::Real},
    {"omega", Kind::Real},
    {"kappa", Kind::Real},
    {"sigma_param", Kind::Real},
    {"initial_value", Kind::Real},
    {"lower", Kind::Real},
    {"upper", Kind::Real},
    {"seed", Kind::Seed},
};
constexpr Signature kBoundedProcess{"bounded_process", kBoundedProcessParams};

PyObject* bounded_process(const Bound<kBoundedProcess>& a) {
  const int32_t length = a.integer<"length">();
  if (!check_length(length)) return nullptr;
  // Written so that a NaN bound passes.
  if (a.real<"lower">() >= a.real<"upper">()) {
    raise_value_error("lower must be < upper");
    return nullptr;
  }
  BoundedParams p;
  p.model_id = a.integer<"model_id">();
  p.phi = a.real<"phi">();
  p.omega = a.real<"omega">();
  p.kappa = a.real<"kappa">();
  p.sigma_param = a.real<"sigma_param">();
  p.initial_value = a.real<"initial_value">();
  p.lower = a.real<"lower">();
  p.upper = a.real<"upper">();
  return generate_values(length, [&](std::span<double> out) {
    return generate_bounded_process(p, a.seed<"seed">(), out);
  });
}

constexpr Param kLevyProcessParams[] = {
    {"length", Kind::Integer},
    {"alpha", Kind::Real},
    {"beta_skew", Kind::Real},
    {"scale", Kind::Real},
    {"location", Kind::Real},
    {"cumulative", Kind::Flag},
    {"initial_value", Kind::Real},
    {"seed", Kind::Seed},
};
constexpr Signature kLevyProcess{"levy_process", kLevyProcessParams};

PyObject* levy_process(const Bound<kLevyProcess>& a) {
  const int32_t length = a.integer<"length">();
  if (!check_length(length)) return nullptr;
  LevyParams p;
  p.alpha = a.real<"alpha">();
  p.beta_skew = a.real<"beta_skew">();
  p.scale = a.real<"scale">();
  p.location = a.real<"location">();
  p.cumulative = a.flag<"cumulative">();
  p.initial_value = a.real<"initial_value">();
  return generate_values(length, [&](std::span<double> out) {
    return generate_levy_process(p, a.seed<"seed">(), out);
  });
}

constexpr FunctionEntry kFunctions[] = {
    function<kOrnsteinUhlenbeck, ornstein_uhlenbeck>(),
    function<kGeometricBrownianMotion, geometric_brownian_motion>(),
    function<kJumpDiffusion, jump_diffusion>(),
    function<kPoissonProcess, poisson_process>(),
    function<kCyclic, cyclic>(),
    function<kGarch, garch>(),
    function<kHawkesProcess, hawkes_process>(),
    function<kChaoticSystem, chaotic_system>(),
    function<kBoundedProcess, bounded_process>(),
    function<kLevyProcess, levy_process>(),
};

}  // namespace

std::span<const FunctionEntry> stochastic_functions() { return kFunctions; }

}  // namespace tidemark::py
