// Python bindings of pattern injection: the caller's array is copied out,
// modified without the lock, and written back in place.
#include <cstring>

#include "call_road/arrays.hpp"
#include "call_road/compute.hpp"
#include "call_road/declaration.hpp"
#include "pattern_injection/pattern_injection.hpp"
#include "bindings/submodules.hpp"

namespace tidemark::py {
namespace {

bool check_writeable(PyArrayObject* arr) {
  if (PyArray_ISWRITEABLE(arr)) return true;
  PyErr_SetString(PyExc_TypeError, "values must be a writeable array (it is read-only)");
  return false;
}

std::optional<std::vector<double>> borrow_values(PyObject* obj) {
  if (!check_writeable(reinterpret_cast<PyArrayObject*>(obj))) return std::nullopt;
  return copy_array<double>(obj);
}

// The lock was released meanwhile, so the array is checked again as the
// copy step checked it: another thread may have resized it, changed its
// dtype (same element count, other width) or made it read-only.
bool write_back(PyObject* obj, const std::vector<double>& values) {
  auto* arr = reinterpret_cast<PyArrayObject*>(obj);
  if (!still_array_of(arr, NPY_DOUBLE)) {
    PyErr_SetString(PyExc_TypeError, kKindChanged);
    return false;
  }
  if (static_cast<std::size_t>(PyArray_SIZE(arr)) != values.size()) {
    raise_value_error("values array changed length during the call");
    return false;
  }
  if (!check_writeable(arr)) return false;
  if (!is_copyable(arr) || PyArray_NBYTES(arr) != static_cast<npy_intp>(values.size() * sizeof(double))) {
    PyErr_SetString(PyExc_TypeError, kNotContiguous);
    return false;
  }
  if (!values.empty()) std::memcpy(PyArray_DATA(arr), values.data(), values.size() * sizeof(double));
  return true;
}

// Runs `inject(std::span<double>) -> positions` on `values`, the borrowed
// copy of `values_obj`, and returns (values_obj, {key: positions}).
template <class Inject>
PyObject* inject_in_place(PyObject* values_obj, std::optional<std::vector<double>>& values,
                          const char* key, Inject&& inject) {
  std::vector<int64_t> positions;
  if (!run_released([&]() -> Status {
        positions = inject(std::span<double>(*values));
        return std::nullopt;
      })) {
    return nullptr;
  }
  if (!write_back(values_obj, *values)) return nullptr;
  PyObject* indices = adopt_array(std::move(positions));
  if (!indices) return nullptr;
  PyObject* dict = PyDict_New();
  if (!dict || PyDict_SetItemString(dict, key, indices) < 0) {
    Py_XDECREF(dict);
    Py_DECREF(indices);
    return nullptr;
  }
  Py_DECREF(indices);
  return Py_BuildValue("(ON)", values_obj, dict);
}

bool refuse(const Status& status) {
  if (!status) return false;
  raise_value_error(status->message);
  return true;
}

constexpr Param kAnomalyParams[] = {
    {"values", Kind::RealArray},
    {"seed", Kind::Seed},
    {"anomaly_types", Kind::StringSequence},
    {"anomaly_fraction", Kind::Real},
    {"spike_magnitude", Kind::Real},
    {"dip_magnitude", Kind::Real},
    {"level_shift_magnitude", Kind::Real},
    {"level_shift_duration", Kind::Integer},
};
constexpr Signature kAddAnomalies{"add_anomalies", kAnomalyParams};

PyObject* add_anomalies(const Bound<kAddAnomalies>& a) {
  const double fraction = a.real<"anomaly_fraction">();
  const int32_t shift_duration = a.integer<"level_shift_duration">();
  if (refuse(check_anomaly_params(fraction, shift_duration))) return nullptr;
  const auto& types = a.strings<"anomaly_types">();
  auto values = borrow_values(a.object<"values">());
  if (!values) return nullptr;
  return inject_in_place(a.object<"values">(), values, "anomaly_indices", [&](std::span<double> v) {
    return inject_anomalies(v, a.seed<"seed">(), types, fraction, a.real<"spike_magnitude">(),
                            a.real<"dip_magnitude">(), a.real<"level_shift_magnitude">(),
                            shift_duration);
  });
}

constexpr Param kMissingnessParams[] = {
    {"values", Kind::RealArray},       {"seed", Kind::Seed},
    {"pattern", Kind::String},         {"missing_rate", Kind::Real},
    {"missing_block_size", Kind::Integer}, {"missing_seasonal_period", Kind::Integer},
};
constexpr Signature kAddMissingness{"add_missingness", kMissingnessParams};

PyObject* add_missingness(const Bound<kAddMissingness>& a) {
  const std::string& pattern = a.string<"pattern">();
  const int32_t block_size = a.integer<"missing_block_size">();
  const int32_t period = a.integer<"missing_seasonal_period">();
  if (pattern == "seasonal" && period < 1) {
    raise_value_error("missing_seasonal_period must be > 0 for seasonal pattern");
    return nullptr;
  }
  if (pattern == "block" && block_size < 1) {
    raise_value_error("missing_block_size must be > 0 for block pattern");
    return nullptr;
  }
  auto values = borrow_values(a.object<"values">());
  if (!values) return nullptr;
  return inject_in_place(a.object<"values">(), values, "missing_indices", [&](std::span<double> v) {
    return inject_missingness(v, a.seed<"seed">(), pattern, a.real<"missing_rate">(), block_size,
                              period);
  });
}

constexpr Param kChangepointParams[] = {
    {"values", Kind::RealArray},          {"seed", Kind::Seed},
    {"num_changepoints", Kind::Integer},  {"locations", Kind::RealArray},
    {"changepoint_type", Kind::String},   {"level_changes", Kind::RealArray},
    {"trend_changes", Kind::RealArray},   {"variance_changes", Kind::RealArray},
};
constexpr Signature kAddChangepoints{"add_changepoints", kChangepointParams};

PyObject* add_changepoints(const Bound<kAddChangepoints>& a) {
  const int32_t count = a.integer<"num_changepoints">();
  if (refuse(check_changepoint_params(count))) return nullptr;
  auto values = borrow_values(a.object<"values">());
  if (!values) return nullptr;
  auto locations = a.copy<"locations">();
  if (!locations) return nullptr;
  auto levels = a.copy<"level_changes">();
  if (!levels) return nullptr;
  auto trends = a.copy<"trend_changes">();
  if (!trends) return nullptr;
  auto variances = a.copy<"variance_changes">();
  if (!variances) return nullptr;
  const std::string& type = a.string<"changepoint_type">();
  return inject_in_place(
      a.object<"values">(), values, "changepoint_indices", [&](std::span<double> v) {
        return inject_changepoints(v, a.seed<"seed">(), count, *locations, type, *levels,
                                   *trends, *variances);
      });
}

constexpr FunctionEntry kFunctions[] = {
    function<kAddChangepoints, add_changepoints>(),
    function<kAddMissingness, add_missingness>(),
    function<kAddAnomalies, add_anomalies>(),
};

}  // namespace

std::span<const FunctionEntry> pattern_injection_functions() { return kFunctions; }

}  // namespace tidemark::py
