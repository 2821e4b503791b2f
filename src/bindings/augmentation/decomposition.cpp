// Python bindings of the classical decomposition and the moving block
// bootstrap.
#include <optional>
#include <utility>
#include <vector>

#include "augmentation/bootstrap.hpp"
#include "augmentation/decomposition.hpp"
#include "bindings/augmentation/entries.hpp"
#include "call_road/arrays.hpp"
#include "call_road/compute.hpp"

namespace tidemark::py {
namespace {

constexpr Param kClassicalDecomposeParams[] = {
    {"values", Kind::RealArray},
    {"period", Kind::OptionalSeed, "None"},
};
constexpr Signature kClassicalDecompose{"classical_decompose", kClassicalDecomposeParams};

PyObject* classical_decompose(const Bound<kClassicalDecompose>& a) {
  auto values = a.copy<"values">();
  if (!values) return nullptr;
  std::optional<Decomposition> d;
  const bool ok = run_released([&]() -> Status {
    Result<Decomposition> r = classical_decomposition(*values, a.optional_seed<"period">());
    if (!r.ok()) return r.error();
    d = std::move(r.value());
    return std::nullopt;
  });
  if (!ok) return nullptr;
  PyObject* trend = adopt_array(std::move(d->trend));
  PyObject* seasonal = trend ? adopt_array(std::move(d->seasonal)) : nullptr;
  PyObject* residual = seasonal ? adopt_array(std::move(d->residual)) : nullptr;
  PyObject* tuple = residual ? PyTuple_Pack(3, trend, seasonal, residual) : nullptr;
  Py_XDECREF(trend);
  Py_XDECREF(seasonal);
  Py_XDECREF(residual);
  return tuple;
}

// Draws for every seed, without the lock; nullopt with a Python error set.
std::optional<std::vector<std::vector<double>>> bootstraps(PyObject* values_array,
                                                           uint64_t block_size,
                                                           std::span<const uint64_t> seeds,
                                                           std::optional<uint64_t> period) {
  auto values = copy_array<double>(values_array);
  if (!values) return std::nullopt;
  std::vector<std::vector<double>> draws;
  const bool ok = run_released([&]() -> Status {
    auto r = moving_block_bootstraps(*values, block_size, seeds, period);
    if (!r.ok()) return r.error();
    draws = std::move(r.value());
    return std::nullopt;
  });
  if (!ok) return std::nullopt;
  return draws;
}

constexpr Param kMovingBlockBootstrapParams[] = {
    {"values", Kind::RealArray},
    {"block_size", Kind::Seed},
    {"seed", Kind::Seed},
    {"period", Kind::OptionalSeed, "None"},
};
constexpr Signature kMovingBlockBootstrap{"moving_block_bootstrap", kMovingBlockBootstrapParams};

PyObject* moving_block_bootstrap(const Bound<kMovingBlockBootstrap>& a) {
  const uint64_t seed = a.seed<"seed">();
  auto draws = bootstraps(a.object<"values">(), a.seed<"block_size">(), {&seed, 1},
                          a.optional_seed<"period">());
  if (!draws) return nullptr;
  return adopt_array(std::move((*draws)[0]));
}

constexpr Param kMovingBlockBootstrapManyParams[] = {
    {"values", Kind::RealArray},
    {"block_size", Kind::Seed},
    {"seeds", Kind::SeedSequence},
    {"period", Kind::OptionalSeed, "None"},
};
constexpr Signature kMovingBlockBootstrapMany{"moving_block_bootstrap_many",
                                              kMovingBlockBootstrapManyParams};

PyObject* moving_block_bootstrap_many(const Bound<kMovingBlockBootstrapMany>& a) {
  auto draws = bootstraps(a.object<"values">(), a.seed<"block_size">(), a.seeds<"seeds">(),
                          a.optional_seed<"period">());
  if (!draws) return nullptr;
  PyObject* list = PyList_New(static_cast<Py_ssize_t>(draws->size()));
  if (!list) return nullptr;
  for (std::size_t i = 0; i < draws->size(); ++i) {
    PyObject* array = adopt_array(std::move((*draws)[i]));
    if (!array) {
      Py_DECREF(list);
      return nullptr;
    }
    PyList_SET_ITEM(list, static_cast<Py_ssize_t>(i), array);
  }
  return list;
}

}  // namespace

constexpr FunctionEntry kClassicalDecomposeEntry =
    function<kClassicalDecompose, classical_decompose>();
constexpr FunctionEntry kMovingBlockBootstrapEntry =
    function<kMovingBlockBootstrap, moving_block_bootstrap>();
constexpr FunctionEntry kMovingBlockBootstrapManyEntry =
    function<kMovingBlockBootstrapMany, moving_block_bootstrap_many>();

}  // namespace tidemark::py
