#include "bindings/pattern_config_parse.hpp"

#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace tidemark::py {
namespace {

// A new reference to dict[key], or nullptr when absent (errors cleared).
PyObject* lookup(PyObject* dict, const char* key) {
  PyObject* value = nullptr;
#if PY_VERSION_HEX >= 0x030D0000
  if (PyDict_GetItemStringRef(dict, key, &value) < 0) PyErr_Clear();
#else
  value = PyDict_GetItemString(dict, key);
  Py_XINCREF(value);
#endif
  return value;
}

// Calls read(value) -> optional<T> for a present key and keeps the default
// otherwise; conversion errors are swallowed by design.
template <class T, class Read>
void read_key(PyObject* dict, const char* key, T& field, Read read) {
  PyObject* value = lookup(dict, key);
  if (!value) return;
  std::optional<T> parsed = read(value);
  if (PyErr_Occurred()) PyErr_Clear();
  if (parsed) field = std::move(*parsed);
  Py_DECREF(value);
}

bool is_true_flag(PyObject* v) {
  if (v == Py_True) return true;
  const char* name = Py_TYPE(v)->tp_name;
  const std::string_view n(name);
  if (n != "numpy.bool" && n != "numpy.bool_") return false;
  return PyObject_IsTrue(v) == 1;
}

std::optional<bool> read_flag(PyObject* v) { return is_true_flag(v); }

std::optional<int32_t> read_int(PyObject* v) {
  if (PyFloat_Check(v)) return std::nullopt;
  PyObject* index = PyNumber_Index(v);
  if (!index) return std::nullopt;
  int overflow = 0;
  const long long x = PyLong_AsLongLongAndOverflow(index, &overflow);
  Py_DECREF(index);
  if (overflow || (x == -1 && PyErr_Occurred()) || x > std::numeric_limits<int32_t>::max() ||
      x < std::numeric_limits<int32_t>::min()) {
    return std::nullopt;
  }
  return static_cast<int32_t>(x);
}

std::optional<double> read_float(PyObject* v) {
  const double x = PyFloat_AsDouble(v);
  if (x == -1.0 && PyErr_Occurred()) return std::nullopt;
  return x;
}

// A str that cannot be encoded (a lone surrogate) is read with its bad
// characters replaced, so it counts as an unknown name like any other
// instead of silently keeping the key's default.
std::optional<std::string> read_string(PyObject* v) {
  if (!PyUnicode_Check(v)) return std::nullopt;
  Py_ssize_t size;
  if (const char* utf8 = PyUnicode_AsUTF8AndSize(v, &size)) {
    return std::string(utf8, static_cast<std::size_t>(size));
  }
  PyErr_Clear();
  PyObject* bytes = PyUnicode_AsEncodedString(v, "utf-8", "replace");
  if (!bytes) return std::nullopt;
  std::string replaced(PyBytes_AS_STRING(bytes), static_cast<std::size_t>(PyBytes_GET_SIZE(bytes)));
  Py_DECREF(bytes);
  return replaced;
}

// Items of a non-str sequence, each through read_item; empty when any fails.
// The items are read from a tuple of their own: converting one may run
// Python code (__float__) that empties or refills the caller's list.
template <class T, class ReadItem>
std::optional<std::vector<T>> read_sequence(PyObject* v, ReadItem read_item) {
  std::vector<T> empty;
  if (PyUnicode_Check(v) || !PySequence_Check(v)) return empty;
  PyObject* snapshot = PySequence_Tuple(v);
  if (!snapshot) return empty;
  std::vector<T> items;
  const Py_ssize_t n = PyTuple_GET_SIZE(snapshot);
  for (Py_ssize_t i = 0; i < n; ++i) {
    std::optional<T> item = read_item(PyTuple_GET_ITEM(snapshot, i));
    if (!item) {
      Py_DECREF(snapshot);
      PyErr_Clear();
      return empty;
    }
    items.push_back(std::move(*item));
  }
  Py_DECREF(snapshot);
  return items;
}

std::optional<std::vector<double>> read_float_list(PyObject* v) {
  return read_sequence<double>(v, read_float);
}

std::optional<std::vector<std::string>> read_string_list(PyObject* v) {
  return read_sequence<std::string>(v, read_string);
}

}  // namespace

PatternConfig parse_pattern_config(PyObject* dict) {
  PatternConfig c;
  read_key(dict, "changepoints", c.changepoints, read_flag);
  read_key(dict, "num_changepoints", c.num_changepoints, read_int);
  read_key(dict, "changepoint_type", c.changepoint_type, read_string);
  read_key(dict, "changepoint_locations", c.changepoint_locations, read_float_list);
  read_key(dict, "changepoint_level_changes", c.changepoint_level_changes, read_float_list);
  read_key(dict, "changepoint_trend_changes", c.changepoint_trend_changes, read_float_list);
  read_key(dict, "changepoint_variance_changes", c.changepoint_variance_changes, read_float_list);
  read_key(dict, "anomalies", c.anomalies, read_flag);
  read_key(dict, "anomaly_types", c.anomaly_types, read_string_list);
  read_key(dict, "anomaly_fraction", c.anomaly_fraction, read_float);
  read_key(dict, "spike_magnitude", c.spike_magnitude, read_float);
  read_key(dict, "dip_magnitude", c.dip_magnitude, read_float);
  read_key(dict, "level_shift_magnitude", c.level_shift_magnitude, read_float);
  read_key(dict, "level_shift_duration", c.level_shift_duration, read_int);
  read_key(dict, "missing_data", c.missing_data, read_flag);
  read_key(dict, "missing_pattern", c.missing_pattern, read_string);
  read_key(dict, "missing_rate", c.missing_rate, read_float);
  read_key(dict, "missing_block_size", c.missing_block_size, read_int);
  read_key(dict, "missing_seasonal_period", c.missing_seasonal_period, read_int);
  return c;
}

}  // namespace tidemark::py
