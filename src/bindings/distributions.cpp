// Python bindings of the element-wise distribution functions.
#include "call_road/arrays.hpp"
#include "call_road/compute.hpp"
#include "call_road/declaration.hpp"
#include "call_road/generator.hpp"
#include "distributions/distributions.hpp"
#include "bindings/submodules.hpp"

namespace tidemark::py {
namespace {

// Copies the input and evaluates `apply(in, out)` in place in the copy
// without the lock (every routine reads element i before writing it), so
// a call needs one buffer rather than two.
template <class Apply>
PyObject* elementwise(PyObject* input, Apply&& apply) {
  const auto* arr = reinterpret_cast<PyArrayObject*>(input);
  if (!check_result_memory(static_cast<std::size_t>(PyArray_SIZE(arr)) * sizeof(double))) {
    return nullptr;
  }
  auto values = copy_to_buffer<double>(input);
  if (!values) return nullptr;
  const bool ok = run_released([&]() -> Status {
    apply(std::span<const double>(values->data(), values->size()), values->span());
    return std::nullopt;
  });
  return ok ? adopt_array(std::move(*values)) : nullptr;
}

constexpr Param kXParams[] = {{"x", Kind::RealArray}};
constexpr Param kPParams[] = {{"p", Kind::RealArray}};
constexpr Param kTParams[] = {{"x", Kind::RealArray}, {"df", Kind::Real}};
constexpr Param kGammaParams[] = {{"u", Kind::RealArray}, {"a", Kind::Real}, {"scale", Kind::Real}};
constexpr Param kExponParams[] = {{"u", Kind::RealArray}, {"scale", Kind::Real}};
constexpr Param kLognormParams[] = {{"u", Kind::RealArray}, {"s", Kind::Real}, {"scale", Kind::Real}};
constexpr Param kUniformParams[] = {{"u", Kind::RealArray}, {"loc", Kind::Real}, {"scale", Kind::Real}};

constexpr Signature kNormCdf{"norm_cdf", kXParams};
constexpr Signature kNormPpf{"norm_ppf", kPParams};
constexpr Signature kTCdf{"t_cdf", kTParams};
constexpr Signature kGammaPpf{"gamma_ppf", kGammaParams};
constexpr Signature kExponPpf{"expon_ppf", kExponParams};
constexpr Signature kLognormPpf{"lognorm_ppf", kLognormParams};
constexpr Signature kUniformPpf{"uniform_ppf", kUniformParams};

PyObject* norm_cdf_py(const Bound<kNormCdf>& a) {
  return elementwise(a.object<"x">(), [](auto in, auto out) { norm_cdf(in, out); });
}
PyObject* norm_ppf_py(const Bound<kNormPpf>& a) {
  return elementwise(a.object<"p">(), [](auto in, auto out) { norm_ppf(in, out); });
}
PyObject* t_cdf_py(const Bound<kTCdf>& a) {
  const double df = a.real<"df">();
  return elementwise(a.object<"x">(), [&](auto in, auto out) { t_cdf(in, df, out); });
}
PyObject* gamma_ppf_py(const Bound<kGammaPpf>& a) {
  const double shape = a.real<"a">(), scale = a.real<"scale">();
  return elementwise(a.object<"u">(),
                     [&](auto in, auto out) { gamma_ppf(in, shape, scale, out); });
}
PyObject* expon_ppf_py(const Bound<kExponPpf>& a) {
  const double scale = a.real<"scale">();
  return elementwise(a.object<"u">(), [&](auto in, auto out) { expon_ppf(in, scale, out); });
}
PyObject* lognorm_ppf_py(const Bound<kLognormPpf>& a) {
  const double s = a.real<"s">(), scale = a.real<"scale">();
  return elementwise(a.object<"u">(),
                     [&](auto in, auto out) { lognorm_ppf(in, s, scale, out); });
}
PyObject* uniform_ppf_py(const Bound<kUniformPpf>& a) {
  const double loc = a.real<"loc">(), scale = a.real<"scale">();
  return elementwise(a.object<"u">(),
                     [&](auto in, auto out) { uniform_ppf(in, loc, scale, out); });
}

constexpr FunctionEntry kFunctions[] = {
    function<kNormCdf, norm_cdf_py>(),       function<kNormPpf, norm_ppf_py>(),
    function<kTCdf, t_cdf_py>(),             function<kGammaPpf, gamma_ppf_py>(),
    function<kExponPpf, expon_ppf_py>(),     function<kLognormPpf, lognorm_ppf_py>(),
    function<kUniformPpf, uniform_ppf_py>(),
};

}  // namespace

std::span<const FunctionEntry> distributions_functions() { return kFunctions; }

}  // namespace tidemark::py
