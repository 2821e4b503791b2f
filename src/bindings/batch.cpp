// Python bindings of the batch engine.  Everything Python is read and copied
// while the lock is held; the run itself never touches a Python object.
#include <algorithm>
#include <array>
#include <new>

#include "batch/batch.hpp"
#include "call_road/arrays.hpp"
#include "call_road/declaration.hpp"
#include "call_road/errors.hpp"
#include "call_road/parallel_call.hpp"
#include "bindings/pattern_config_parse.hpp"
#include "bindings/submodules.hpp"

namespace tidemark::py {
namespace {

// Owned copies of the converted spec values, filled in spec order.
struct SpecObjects {
  int32_t gen_type = 0;
  PyObject* scalar_params = nullptr;
  PyObject* array_params = nullptr;
  PyObject* lengths = nullptr;
  PyObject* gen_seeds = nullptr;
  PyObject* pi_seeds = nullptr;
  PyObject* pi_config = nullptr;
};

constexpr Param kArrayParamsItem{"array_params", Kind::RealArray};

// The caller's list may change while we read it (other threads, or Python
// code run by a conversion), so its items are copied from a snapshot and
// checked again there.
bool copy_array_params(PyObject* list, std::vector<std::vector<double>>& out) {
  PyObject* items = PyList_AsTuple(list);
  if (!items) return false;
  bool ok = true;
  for (Py_ssize_t i = 0; ok && i < PyTuple_GET_SIZE(items); ++i) {
    Args::Value checked;
    PyObject* item = PyTuple_GET_ITEM(items, i);
    auto copy = convert_argument(item, kArrayParamsItem, checked) ? copy_array<double>(item)
                                                                   : std::nullopt;
    ok = copy.has_value();
    if (ok) out.push_back(std::move(*copy));
  }
  Py_DECREF(items);
  return ok;
}

bool copy_spec(const SpecObjects& o, BatchSpec& spec) {
  spec.gen_type = o.gen_type;
  auto scalars = copy_array<double>(o.scalar_params);
  if (!scalars) return false;
  spec.scalar_params = std::move(*scalars);
  if (!copy_array_params(o.array_params, spec.array_params)) return false;
  auto lengths = copy_array<int32_t>(o.lengths);
  auto gen_seeds = lengths ? copy_array<uint64_t>(o.gen_seeds) : std::nullopt;
  auto pi_seeds = gen_seeds ? copy_array<uint64_t>(o.pi_seeds) : std::nullopt;
  if (!pi_seeds) return false;
  spec.lengths = std::move(*lengths);
  spec.gen_seeds = std::move(*gen_seeds);
  spec.pi_seeds = std::move(*pi_seeds);
  spec.pattern = parse_pattern_config(o.pi_config);
  return true;
}

// The four result keys, created once per call and shared by every dict.
class ResultKeys {
 public:
  ResultKeys() {
    for (std::size_t k = 0; k < kNames.size(); ++k) keys_[k] = PyUnicode_InternFromString(kNames[k]);
  }
  ~ResultKeys() {
    for (PyObject* key : keys_) Py_XDECREF(key);
  }
  ResultKeys(const ResultKeys&) = delete;
  ResultKeys& operator=(const ResultKeys&) = delete;

  bool ok() const {
    return std::all_of(keys_.begin(), keys_.end(), [](PyObject* k) { return k != nullptr; });
  }
  PyObject* operator[](std::size_t k) const { return keys_[k]; }

 private:
  static constexpr std::array<const char*, 4> kNames = {"values", "cp_indices", "anom_indices",
                                                        "miss_indices"};
  std::array<PyObject*, 4> keys_{};
};

void free_series(PyObject* capsule) {
  PackedSeries::free_block(PyCapsule_GetPointer(capsule, "tidemark.series"));
}

// The series' block (values and the three position lists) becomes four
// arrays sharing one owning base: one owner per series, and no copy.
PyObject* series_dict(PackedSeries& series, const ResultKeys& keys) {
  void* block = series.release();
  PyObject* owner = PyCapsule_New(block, "tidemark.series", &free_series);
  if (!owner) {
    PackedSeries::free_block(block);
    return nullptr;
  }
  const PackedSeries view = PackedSeries::view_of(block);
  PyObject* dict = PyDict_New();
  PyObject* const values[] = {view_array(view.values(), owner),
                              view_array(view.cp_indices(), owner),
                              view_array(view.anom_indices(), owner),
                              view_array(view.miss_indices(), owner)};
  bool ok = dict != nullptr;
  for (std::size_t k = 0; k < std::size(values); ++k) {
    ok = ok && values[k] && PyDict_SetItem(dict, keys[k], values[k]) == 0;
    Py_XDECREF(values[k]);
  }
  Py_DECREF(owner);
  if (!ok) Py_CLEAR(dict);
  return dict;
}

// One list per spec, each with a slot per series, filled as series finish.
PyObject* empty_result_lists(const BatchRun& batch) {
  PyObject* outer = PyList_New(static_cast<Py_ssize_t>(batch.group_count()));
  for (std::size_t j = 0; outer && j < batch.group_count(); ++j) {
    PyObject* inner = PyList_New(static_cast<Py_ssize_t>(batch.group_size(j)));
    if (!inner) Py_CLEAR(outer);
    else PyList_SET_ITEM(outer, static_cast<Py_ssize_t>(j), inner);
  }
  return outer;
}

// Runs the specs and returns one list of result dicts per spec.  The lock
// is released while the series are generated; the calling thread re-takes
// it between rounds of finished series to turn them into dicts while the
// workers go on, and to run pending signal handlers: an exception from one
// (KeyboardInterrupt) stops the run and propagates.
PyObject* run_and_collect(std::span<const BatchSpec> specs, std::size_t n_workers,
                          bool single_group) {
  const ResultKeys keys;
  if (!keys.ok()) return nullptr;
  std::variant<BatchRun, LoopFailure> prepared = LoopFailure{Interrupted{}};
  Py_BEGIN_ALLOW_THREADS
  prepared = BatchRun::prepare(specs, single_group);
  Py_END_ALLOW_THREADS
  if (const auto* refusal = std::get_if<LoopFailure>(&prepared)) {
    raise_loop_failure(*refusal);
    return nullptr;
  }
  BatchRun& batch = std::get<BatchRun>(prepared);
  PyObject* outer = empty_result_lists(batch);
  if (!outer) return nullptr;
  std::size_t group = 0;
  PyThreadState* released = PyEval_SaveThread();
  auto deliver = [&](std::size_t begin, std::size_t end) {
    PyEval_RestoreThread(released);
    bool ok = true;
    for (std::size_t flat = begin; ok && flat < end; ++flat) {
      while (flat >= batch.group_begin(group) + batch.group_size(group)) ++group;
      PyObject* dict = series_dict(batch.series(flat), keys);
      ok = dict != nullptr;
      if (ok) {
        PyList_SET_ITEM(PyList_GET_ITEM(outer, static_cast<Py_ssize_t>(group)),
                        static_cast<Py_ssize_t>(flat - batch.group_begin(group)), dict);
      }
    }
    ok = ok && PyErr_CheckSignals() == 0;
    released = PyEval_SaveThread();
    return ok;
  };
  std::optional<LoopFailure> failure = batch.run(n_workers, deliver);
  PyEval_RestoreThread(released);
  if (failure || PyErr_Occurred()) {
    Py_DECREF(outer);
    if (!PyErr_Occurred()) raise_loop_failure(*failure);
    return nullptr;
  }
  return outer;
}

constexpr Param kBatchParams[] = {
    {"gen_type", Kind::Integer},      {"scalar_params", Kind::RealArray},
    {"array_params", Kind::RealArrayList}, {"lengths", Kind::Int32Array},
    {"gen_seeds", Kind::UInt64Array}, {"pi_seeds", Kind::UInt64Array},
    {"pi_config_dict", Kind::Dict},   {"n_workers", Kind::Size, "0"},
};
constexpr Signature kGenerateBatch{
    "generate_batch", kBatchParams,
    "Generate multiple series of a single generator type in parallel.\n\n"
    "Returns a list with one dict per series, in series order, with the keys\n"
    "\"values\" (numpy array of float64), \"cp_indices\", \"anom_indices\" and\n"
    "\"miss_indices\" (numpy arrays of int64)."};

PyObject* generate_batch(const Bound<kGenerateBatch>& a) {
  const SpecObjects objects{a.integer<"gen_type">(),       a.object<"scalar_params">(),
                            a.object<"array_params">(),    a.object<"lengths">(),
                            a.object<"gen_seeds">(),       a.object<"pi_seeds">(),
                            a.object<"pi_config_dict">()};
  std::vector<BatchSpec> specs(1);
  if (!copy_spec(objects, specs[0])) return nullptr;
  if (specs[0].lengths.empty()) return PyList_New(0);
  PyObject* groups = run_and_collect(specs, a.size<"n_workers">(), true);
  if (!groups) return nullptr;
  PyObject* series = Py_NewRef(PyList_GET_ITEM(groups, 0));
  Py_DECREF(groups);
  return series;
}

// Looks up one spec key and converts its value, in the fixed key order.
// The value's reference is kept in `held` until the spec is copied, since
// converting a later value may run Python code that edits the dict.
bool spec_value(PyObject* dict, const Param& param, Args::Value& out,
                std::vector<PyObject*>& held) {
  PyObject* value = nullptr;
#if PY_VERSION_HEX >= 0x030D0000
  if (PyDict_GetItemStringRef(dict, param.name, &value) < 0) return false;
#else
  value = PyDict_GetItemString(dict, param.name);
  Py_XINCREF(value);
#endif
  if (!value) {
    raise_value_error(std::string("missing ") + param.name);
    return false;
  }
  held.push_back(value);
  return convert_argument(value, param, out);
}

constexpr Param kSpecKeys[] = {
    {"gen_type", Kind::Integer},      {"scalar_params", Kind::RealArray},
    {"array_params", Kind::List},     {"lengths", Kind::Int32Array},
    {"gen_seeds", Kind::UInt64Array}, {"pi_seeds", Kind::UInt64Array},
    {"pi_config", Kind::Dict},
};
constexpr Param kArrayParamsItems{"array_params", Kind::RealArrayList};

bool read_spec_values(PyObject* item, BatchSpec& spec, std::vector<PyObject*>& held) {
  Args::Value v[std::size(kSpecKeys)];
  if (!convert_argument(item, Param{"specs", Kind::Dict}, v[0])) return false;
  for (std::size_t k = 0; k < std::size(kSpecKeys); ++k) {
    if (!spec_value(item, kSpecKeys[k], v[k], held)) return false;
  }
  Args::Value checked_items;
  if (!convert_argument(std::get<PyObject*>(v[2]), kArrayParamsItems, checked_items)) {
    return false;
  }
  const SpecObjects objects{std::get<int32_t>(v[0]),   std::get<PyObject*>(v[1]),
                            std::get<PyObject*>(v[2]), std::get<PyObject*>(v[3]),
                            std::get<PyObject*>(v[4]), std::get<PyObject*>(v[5]),
                            std::get<PyObject*>(v[6])};
  return copy_spec(objects, spec);
}

bool read_spec(PyObject* item, BatchSpec& spec) {
  std::vector<PyObject*> held;
  const bool ok = read_spec_values(item, spec, held);
  for (PyObject* o : held) Py_DECREF(o);
  return ok;
}

constexpr Param kMultiParams[] = {{"specs", Kind::List}, {"n_workers", Kind::Size, "0"}};
constexpr Signature kGenerateMultiBatch{
    "generate_multi_batch", kMultiParams,
    "Generate series from multiple generators in parallel.\n\n"
    "Each spec is a dict:\n"
    "    \"gen_type\": int,\n"
    "    \"scalar_params\": numpy array,\n"
    "    \"array_params\": list of numpy arrays,\n"
    "    \"lengths\": numpy array,\n"
    "    \"gen_seeds\": numpy array,\n"
    "    \"pi_seeds\": numpy array,\n"
    "    \"pi_config\": dict\n\n"
    "Returns list[list[dict]] \xe2\x80\x94 outer list per generator, inner per series."};

PyObject* generate_multi_batch(const Bound<kGenerateMultiBatch>& a) {
  // A snapshot of the list: reading a spec can run Python code, and other
  // threads may change the list meanwhile.
  PyObject* items = PyList_AsTuple(a.object<"specs">());
  if (!items) return nullptr;
  std::vector<BatchSpec> specs(static_cast<std::size_t>(PyTuple_GET_SIZE(items)));
  for (std::size_t j = 0; j < specs.size(); ++j) {
    if (!read_spec(PyTuple_GET_ITEM(items, static_cast<Py_ssize_t>(j)), specs[j])) {
      Py_DECREF(items);
      return nullptr;
    }
  }
  Py_DECREF(items);
  return run_and_collect(specs, a.size<"n_workers">(), false);
}

constexpr FunctionEntry kFunctions[] = {
    function<kGenerateBatch, generate_batch>(),
    function<kGenerateMultiBatch, generate_multi_batch>(),
};

}  // namespace

std::span<const FunctionEntry> batch_functions() { return kFunctions; }

}  // namespace tidemark::py
