// Python bindings of the multivariate generators.
#include "bindings/submodules.hpp"
#include "call_road/declaration.hpp"
#include "call_road/errors.hpp"
#include "call_road/generator.hpp"
#include "generators/multivariate/multivariate.hpp"

namespace tidemark::py {
namespace {

bool check_positive(int32_t value, const char* message) {
  if (value >= 1) return true;
  raise_value_error(message);
  return false;
}

constexpr Param kCopulaParams[] = {
    {"length", Kind::Integer},
    {"n_variables", Kind::Integer},
    {"copula_type", Kind::Integer},
    {"df", Kind::Real},
    {"correlation_matrix", Kind::RealArray},
    {"marginal_distribution", Kind::Integer},
    {"marginal_param1", Kind::Real},
    {"marginal_param2", Kind::Real},
    {"seed", Kind::Seed},
};
constexpr Signature kCopula{"copula", kCopulaParams};

PyObject* copula(const Bound<kCopula>& a) {
  const int32_t length = a.integer<"length">();
  if (!check_length(length)) return nullptr;
  if (!check_positive(a.integer<"n_variables">(), "n_variables must be > 0")) return nullptr;
  auto corr = a.copy<"correlation_matrix">();
  if (!corr) return nullptr;
  CopulaParams p;
  p.n_variables = a.integer<"n_variables">();
  p.copula_type = a.integer<"copula_type">();
  p.df = a.real<"df">();
  p.correlation_matrix = *corr;
  p.marginal_distribution = a.integer<"marginal_distribution">();
  p.marginal_param1 = a.real<"marginal_param1">();
  p.marginal_param2 = a.real<"marginal_param2">();
  return generate_values(length, [&](std::span<double> out) {
    return generate_copula(p, a.seed<"seed">(), out);
  });
}

constexpr Param kVarProcessParams[] = {
    {"length", Kind::Integer},          {"n_variables", Kind::Integer},
    {"order", Kind::Integer},           {"coef_matrices", Kind::RealArray},
    {"intercept", Kind::RealArray},     {"innovation_cov", Kind::RealArray},
    {"seed", Kind::Seed},               {"innov_dist", Kind::Integer},
    {"innov_param", Kind::Real},
};
constexpr Signature kVarProcess{"var_process", kVarProcessParams};

PyObject* var_process(const Bound<kVarProcess>& a) {
  const int32_t length = a.integer<"length">();
  if (!check_length(length)) return nullptr;
  if (!check_positive(a.integer<"n_variables">(), "n_variables must be > 0")) return nullptr;
  if (!check_positive(a.integer<"order">(), "order must be > 0")) return nullptr;
  auto coef = a.copy<"coef_matrices">();
  if (!coef) return nullptr;
  auto intercept = a.copy<"intercept">();
  if (!intercept) return nullptr;
  auto cov = a.copy<"innovation_cov">();
  if (!cov) return nullptr;
  VarParams p;
  p.n_variables = a.integer<"n_variables">();
  p.order = a.integer<"order">();
  p.coef_matrices = *coef;
  p.intercept = *intercept;
  p.innovation_cov = *cov;
  p.innov = {a.integer<"innov_dist">(), a.real<"innov_param">()};
  return generate_values(length, [&](std::span<double> out) {
    return generate_var_process(p, a.seed<"seed">(), out);
  });
}

constexpr Param kStateSpaceParams[] = {
    {"length", Kind::Integer},           {"state_dim", Kind::Integer},
    {"obs_dim", Kind::Integer},          {"f_mat", Kind::RealArray},
    {"h_mat", Kind::RealArray},          {"q_mat", Kind::RealArray},
    {"r_mat", Kind::RealArray},          {"initial_state", Kind::RealArray},
    {"initial_state_cov", Kind::RealArray}, {"seed", Kind::Seed},
    {"innov_dist", Kind::Integer},       {"innov_param", Kind::Real},
};
constexpr Signature kStateSpace{"state_space", kStateSpaceParams};

PyObject* state_space(const Bound<kStateSpace>& a) {
  const int32_t length = a.integer<"length">();
  if (!check_length(length)) return nullptr;
  if (!check_positive(a.integer<"state_dim">(), "state_dim must be > 0")) return nullptr;
  if (!check_positive(a.integer<"obs_dim">(), "obs_dim must be > 0")) return nullptr;
  auto f = a.copy<"f_mat">();
  if (!f) return nullptr;
  auto h = a.copy<"h_mat">();
  if (!h) return nullptr;
  auto q = a.copy<"q_mat">();
  if (!q) return nullptr;
  auto r = a.copy<"r_mat">();
  if (!r) return nullptr;
  auto m0 = a.copy<"initial_state">();
  if (!m0) return nullptr;
  auto p0 = a.copy<"initial_state_cov">();
  if (!p0) return nullptr;
  StateSpaceParams p;
  p.state_dim = static_cast<uint64_t>(a.integer<"state_dim">());
  p.obs_dim = static_cast<uint64_t>(a.integer<"obs_dim">());
  p.f_mat = *f;
  p.h_mat = *h;
  p.q_mat = *q;
  p.r_mat = *r;
  p.initial_state = *m0;
  p.initial_state_cov = *p0;
  p.innov = {a.integer<"innov_dist">(), a.real<"innov_param">()};
  return generate_values(length, [&](std::span<double> out) {
    return generate_state_space(p, a.seed<"seed">(), out);
  });
}

constexpr Param kFbmParams[] = {
    {"length", Kind::Integer},      {"hurst", Kind::Real},   {"sigma", Kind::Real},
    {"initial_value", Kind::Real},  {"cumulative", Kind::Flag}, {"method", Kind::Integer},
    {"seed", Kind::Seed},
};
constexpr Signature kFbm{"fbm", kFbmParams};

PyObject* fbm(const Bound<kFbm>& a) {
  const int32_t length = a.integer<"length">();
  if (!check_length(length)) return nullptr;
  const FbmParams p{a.real<"hurst">(), a.real<"sigma">(), a.real<"initial_value">(),
                    a.flag<"cumulative">(), a.integer<"method">()};
  return generate_values(length, [&](std::span<double> out) {
    return generate_fbm(p, a.seed<"seed">(), out);
  });
}

constexpr Param kGaussianProcessParams[] = {
    {"length", Kind::Integer},      {"kernel_id", Kind::Integer}, {"length_scale", Kind::Real},
    {"amplitude", Kind::Real},      {"period", Kind::Real},       {"mean", Kind::Real},
    {"noise_variance", Kind::Real}, {"seed", Kind::Seed},
};
constexpr Signature kGaussianProcess{"gaussian_process", kGaussianProcessParams};

PyObject* gaussian_process(const Bound<kGaussianProcess>& a) {
  const int32_t length = a.integer<"length">();
  if (!check_length(length)) return nullptr;
  const GaussianProcessParams p{a.integer<"kernel_id">(), a.real<"length_scale">(),
                                a.real<"amplitude">(),    a.real<"period">(),
                                a.real<"mean">(),         a.real<"noise_variance">()};
  return generate_values(length, [&](std::span<double> out) {
    return generate_gaussian_process(p, a.seed<"seed">(), out);
  });
}

constexpr FunctionEntry kFunctions[] = {
    function<kCopula, copula>(),  function<kVarProcess, var_process>(),
    function<kStateSpace, state_space>(), function<kFbm, fbm>(),
    function<kGaussianProcess, gaussian_process>(),
};

}  // namespace

std::span<const FunctionEntry> multivariate_functions() { return kFunctions; }

}  // namespace tidemark::py
