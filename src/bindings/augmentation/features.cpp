// Python bindings of the feature set: basic features, the twelve-feature
// vector and its panel batch.
#include <new>
#include <optional>
#include <utility>
#include <variant>
#include <vector>

#include "augmentation/features.hpp"
#include "bindings/augmentation/entries.hpp"
#include "call_road/arrays.hpp"
#include "call_road/compute.hpp"
#include "call_road/errors.hpp"
#include "call_road/parallel_call.hpp"

namespace tidemark::py {
namespace {

PyObject* float_list(std::span<const double> values) {
  PyObject* list = PyList_New(static_cast<Py_ssize_t>(values.size()));
  if (!list) return nullptr;
  for (std::size_t i = 0; i < values.size(); ++i) {
    PyObject* f = PyFloat_FromDouble(values[i]);
    if (!f) {
      Py_DECREF(list);
      return nullptr;
    }
    PyList_SET_ITEM(list, static_cast<Py_ssize_t>(i), f);
  }
  return list;
}

constexpr Param kComputeFeaturesParams[] = {
    {"values", Kind::RealArray},
    {"period", Kind::OptionalSeed, "None"},
};
constexpr Signature kComputeFeatures{"compute_features", kComputeFeaturesParams};

PyObject* compute_features(const Bound<kComputeFeatures>& a) {
  auto values = a.copy<"values">();
  if (!values) return nullptr;
  BasicFeatures f{};
  const bool ok = run_released([&]() -> Status {
    Result<BasicFeatures> r = features_core(*values, a.optional_seed<"period">());
    if (!r.ok()) return r.error();
    f = r.value();
    return std::nullopt;
  });
  if (!ok) return nullptr;
  return Py_BuildValue("(dddd)", f.spectral_entropy, f.trend_strength, f.seasonal_strength,
                       f.acf1);
}

constexpr Param kComputeFeatureSetParams[] = {
    {"values", Kind::RealArray},
    {"period", Kind::OptionalSeed, "None"},
    {"window_size", Kind::OptionalSeed, "None"},
};
constexpr Signature kComputeFeatureSet{"compute_feature_set", kComputeFeatureSetParams};

PyObject* compute_feature_set(const Bound<kComputeFeatureSet>& a) {
  auto values = a.copy<"values">();
  if (!values) return nullptr;
  FeatureVector f{};
  const bool ok = run_released([&]() -> Status {
    Result<FeatureVector> r =
        feature_vector(*values, a.optional_seed<"period">(), a.optional_seed<"window_size">());
    if (!r.ok()) return r.error();
    f = r.value();
    return std::nullopt;
  });
  if (!ok) return nullptr;
  return float_list(f);
}

constexpr Param kComputeFeatureSetBatchParams[] = {
    {"values", Kind::RealArray},
    {"offsets", Kind::Int64Array},
    {"period", Kind::OptionalSeed, "None"},
    {"window_size", Kind::OptionalSeed, "None"},
    {"n_workers", Kind::Size, "0"},
};
constexpr Signature kComputeFeatureSetBatch{
    "compute_feature_set_batch", kComputeFeatureSetBatchParams,
    "Native feature rows for a flat panel in one call; returns n_series * 12 values."};

PyObject* compute_feature_set_batch(const Bound<kComputeFeatureSetBatch>& a) {
  auto values = a.copy<"values">();
  if (!values) return nullptr;
  auto offsets = a.copy<"offsets">();
  if (!offsets) return nullptr;
  for (int64_t o : *offsets) {
    if (o < 0) {
      raise_value_error("offsets must be non-negative");
      return nullptr;
    }
  }
  std::variant<std::vector<double>, LoopFailure> outcome;
  bool out_of_memory = false;
  Py_BEGIN_ALLOW_THREADS
  try {
    outcome = feature_batch(*values, *offsets, a.optional_seed<"period">(),
                            a.optional_seed<"window_size">(), a.size<"n_workers">());
  } catch (const std::bad_alloc&) {  // the result or the ordering did not fit
    out_of_memory = true;
  }
  Py_END_ALLOW_THREADS
  if (out_of_memory) return PyErr_NoMemory();
  if (const auto* failure = std::get_if<LoopFailure>(&outcome)) {
    raise_loop_failure(*failure);
    return nullptr;
  }
  return adopt_array(std::move(std::get<std::vector<double>>(outcome)));
}

}  // namespace

constexpr FunctionEntry kComputeFeaturesEntry = function<kComputeFeatures, compute_features>();
constexpr FunctionEntry kComputeFeatureSetEntry =
    function<kComputeFeatureSet, compute_feature_set>();
constexpr FunctionEntry kComputeFeatureSetBatchEntry =
    function<kComputeFeatureSetBatch, compute_feature_set_batch>();

}  // namespace tidemark::py
