// Python bindings of DTW distance and alignment, the nearest-neighbour
// search and DBA barycentres.
#include "bindings/augmentation/dtw.hpp"

#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "augmentation/dba.hpp"
#include "augmentation/dtw.hpp"
#include "augmentation/dtw_neighbors.hpp"
#include "call_road/arrays.hpp"
#include "call_road/compute.hpp"
#include "call_road/errors.hpp"

namespace tidemark::py {
namespace {

constexpr const char* kNegativeBand = "band must be non-negative when provided";

// The band as the core takes it, or false with ValueError for a negative one.
bool core_band(std::optional<int64_t> band, std::optional<uint64_t>& out) {
  if (band && *band < 0) {
    raise_value_error(kNegativeBand);
    return false;
  }
  if (band) out = static_cast<uint64_t>(*band);
  return true;
}

PyObject* path_list(const std::vector<PathStep>& path) {
  PyObject* list = PyList_New(static_cast<Py_ssize_t>(path.size()));
  if (!list) return nullptr;
  for (std::size_t k = 0; k < path.size(); ++k) {
    PyObject* i = PyLong_FromUnsignedLongLong(path[k].i);
    PyObject* j = i ? PyLong_FromUnsignedLongLong(path[k].j) : nullptr;
    PyObject* pair = j ? PyTuple_Pack(2, i, j) : nullptr;
    Py_XDECREF(i);
    Py_XDECREF(j);
    if (!pair) {
      Py_DECREF(list);
      return nullptr;
    }
    PyList_SET_ITEM(list, static_cast<Py_ssize_t>(k), pair);
  }
  return list;
}

PyObject* neighbor_lists(const std::vector<std::vector<DtwNeighbor>>& all) {
  PyObject* outer = PyList_New(static_cast<Py_ssize_t>(all.size()));
  if (!outer) return nullptr;
  for (std::size_t s = 0; s < all.size(); ++s) {
    PyObject* inner = PyList_New(static_cast<Py_ssize_t>(all[s].size()));
    if (!inner) {
      Py_DECREF(outer);
      return nullptr;
    }
    PyList_SET_ITEM(outer, static_cast<Py_ssize_t>(s), inner);
    for (std::size_t k = 0; k < all[s].size(); ++k) {
      PyObject* entry = Py_BuildValue("(Kd)", static_cast<unsigned long long>(all[s][k].index),
                                      all[s][k].distance);
      if (!entry) {
        Py_DECREF(outer);
        return nullptr;
      }
      PyList_SET_ITEM(inner, static_cast<Py_ssize_t>(k), entry);
    }
  }
  return outer;
}

// --- DBA with interruption --------------------------------------------------

// A Python exception taken out of the interpreter's error indicator, to be
// raised again once the computation has unwound.
class PendingException {
 public:
  PendingException() = default;
  PendingException(const PendingException&) = delete;
  PendingException& operator=(const PendingException&) = delete;
  ~PendingException() { clear(); }

  // Takes the current exception (lock held), replacing any earlier one.
  void take_current() {
    std::lock_guard lock(mutex_);
    clear();
#if PY_VERSION_HEX >= 0x030C0000
    exc_ = PyErr_GetRaisedException();
#else
    PyErr_Fetch(&type_, &exc_, &tb_);
#endif
  }

  // Restores it as the current exception (lock held); false if none.
  bool restore() {
    std::lock_guard lock(mutex_);
    if (!exc_ && !type_) return false;
#if PY_VERSION_HEX >= 0x030C0000
    PyErr_SetRaisedException(std::exchange(exc_, nullptr));
#else
    PyErr_Restore(std::exchange(type_, nullptr), std::exchange(exc_, nullptr),
                  std::exchange(tb_, nullptr));
#endif
    return true;
  }

 private:
  void clear() {
    Py_CLEAR(type_);
    Py_CLEAR(exc_);
    Py_CLEAR(tb_);
  }

  std::mutex mutex_;
  PyObject* type_ = nullptr;
  PyObject* exc_ = nullptr;
  PyObject* tb_ = nullptr;
};

// Runs dba_core without the lock.  At the core's check points the calling
// thread briefly takes the lock back so that pending signal handlers run;
// an exception one of them raises (KeyboardInterrupt) aborts the run and is
// raised in place of the core's message.
std::optional<std::vector<std::vector<double>>> run_dba(
    std::span<const double> reference, const std::vector<std::vector<double>>& neighbors,
    std::span<const std::vector<double>> weights, uint64_t n_iterations,
    std::optional<uint64_t> band) {
  PendingException pending;
  std::optional<Result<std::vector<std::vector<double>>>> result;
  std::optional<std::string> internal;
  bool out_of_memory = false;

  PyThreadState* thread = PyEval_SaveThread();
  const DbaInterruptCheck interrupted = [&]() -> bool {
    PyEval_RestoreThread(thread);
    const bool raised = PyErr_CheckSignals() < 0;
    if (raised) pending.take_current();
    thread = PyEval_SaveThread();
    return raised;
  };
  try {
    result.emplace(dba_core(reference, neighbors, weights, n_iterations, band, interrupted));
  } catch (const InternalFailure& e) {
    internal = e.what();
  } catch (const std::bad_alloc&) {
    out_of_memory = true;
  }
  PyEval_RestoreThread(thread);

  if (pending.restore()) return std::nullopt;
  if (internal) {
    raise_internal_failure(*internal);
    return std::nullopt;
  }
  if (out_of_memory) {
    PyErr_NoMemory();
    return std::nullopt;
  }
  if (!result->ok()) {
    raise_value_error(result->error().message);
    return std::nullopt;
  }
  return std::move(result->value());
}

}  // namespace

PyObject* dtw_distance(const Bound<kDtwDistance>& a) {
  auto x = a.copy<"a">();
  if (!x) return nullptr;
  auto y = a.copy<"b">();
  if (!y) return nullptr;
  std::optional<uint64_t> band;
  if (!core_band(a.optional_int64<"band">(), band)) return nullptr;
  double distance = 0.0;
  const bool ok = run_released([&]() -> Status {
    Result<double> r = dtw_distance_core(*x, *y, band);
    if (!r.ok()) return r.error();
    distance = r.value();
    return std::nullopt;
  });
  return ok ? PyFloat_FromDouble(distance) : nullptr;
}

PyObject* dtw_alignment(const Bound<kDtwAlignment>& a) {
  auto x = a.copy<"a">();
  if (!x) return nullptr;
  auto y = a.copy<"b">();
  if (!y) return nullptr;
  std::optional<uint64_t> band;
  if (!core_band(a.optional_int64<"band">(), band)) return nullptr;
  DtwAlignment alignment;
  const bool ok = run_released([&]() -> Status {
    Result<DtwAlignment> r = dtw_align(*x, *y, band);
    if (!r.ok()) return r.error();
    alignment = std::move(r.value());
    return std::nullopt;
  });
  if (!ok) return nullptr;
  PyObject* path = path_list(alignment.path);
  if (!path) return nullptr;
  PyObject* distance = PyFloat_FromDouble(alignment.distance);
  if (!distance) {
    Py_DECREF(path);
    return nullptr;
  }
  PyObject* out = PyTuple_Pack(2, distance, path);
  Py_DECREF(distance);
  Py_DECREF(path);
  return out;
}

PyObject* nearest_dtw_neighbors(const Bound<kNearestDtwNeighbors>& a) {
  auto series = a.copy_all<"series">();
  if (!series) return nullptr;
  std::vector<std::vector<DtwNeighbor>> neighbors;
  const bool ok = run_released([&]() -> Status {
    auto r = dtw_neighbors_core(*series, a.real<"window_fraction">(), a.seed<"n_neighbors">());
    if (!r.ok()) return r.error();
    neighbors = std::move(r.value());
    return std::nullopt;
  });
  return ok ? neighbor_lists(neighbors) : nullptr;
}

PyObject* dba_barycenter(const Bound<kDbaBarycenter>& a) {
  std::optional<uint64_t> band;
  if (!core_band(a.optional_int64<"band">(), band)) return nullptr;
  auto reference = a.copy<"reference">();
  if (!reference) return nullptr;
  auto neighbors = a.copy_all<"neighbors">();
  if (!neighbors) return nullptr;
  auto weights = a.copy<"weights">();
  if (!weights) return nullptr;
  std::vector<double>* one = &*weights;
  auto out = run_dba(*reference, *neighbors, std::span<const std::vector<double>>(one, 1),
                     a.seed<"n_iterations">(), band);
  if (!out) return nullptr;
  return adopt_array(std::move((*out)[0]));
}

PyObject* dba_barycenters(const Bound<kDbaBarycenters>& a) {
  std::optional<uint64_t> band;
  if (!core_band(a.optional_int64<"band">(), band)) return nullptr;
  auto reference = a.copy<"reference">();
  if (!reference) return nullptr;
  auto neighbors = a.copy_all<"neighbors">();
  if (!neighbors) return nullptr;
  auto out = run_dba(*reference, *neighbors, a.real_lists<"weights">(),
                     a.seed<"n_iterations">(), band);
  if (!out) return nullptr;
  PyObject* list = PyList_New(static_cast<Py_ssize_t>(out->size()));
  if (!list) return nullptr;
  for (std::size_t c = 0; c < out->size(); ++c) {
    PyObject* arr = adopt_array(std::move((*out)[c]));
    if (!arr) {
      Py_DECREF(list);
      return nullptr;
    }
    PyList_SET_ITEM(list, static_cast<Py_ssize_t>(c), arr);
  }
  return list;
}

}  // namespace tidemark::py
