// Running a computation with the interpreter lock released and turning its
// failures into Python exceptions once the lock is held again.
#pragma once

#include <new>
#include <optional>
#include <string>
#include <utility>

#include "call_road/errors.hpp"
#include "call_road/python.hpp"
#include "core/internal_failure.hpp"
#include "core/param_error.hpp"

namespace tidemark::py {

// Runs `work` (returning Status) without the lock.  Returns false with a
// Python exception set on a ParamError, an InternalFailure or exhaustion of
// memory; partial buffers are the caller's RAII objects and die with it.
template <class Work>
bool run_released(Work&& work) {
  Status status;
  std::optional<std::string> failure;
  bool out_of_memory = false;
  Py_BEGIN_ALLOW_THREADS
  try {
    status = std::forward<Work>(work)();
  } catch (const InternalFailure& e) {
    failure = e.what();
  } catch (const std::bad_alloc&) {
    out_of_memory = true;
  }
  Py_END_ALLOW_THREADS
  if (failure) {
    raise_internal_failure(*failure);
    return false;
  }
  if (out_of_memory) {
    PyErr_NoMemory();
    return false;
  }
  if (status) {
    raise_value_error(status->message);
    return false;
  }
  return true;
}

}  // namespace tidemark::py
