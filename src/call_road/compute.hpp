// Running a computation with the interpreter lock released and turning its
// failures into Python exceptions once the lock is held again.
#pragma once

#include <chrono>
#include <new>
#include <optional>
#include <string>
#include <utility>

#include "call_road/errors.hpp"
#include "call_road/python.hpp"
#include "core/internal_failure.hpp"
#include "core/interrupt.hpp"
#include "core/param_error.hpp"

namespace tidemark::py {

// Runs `work` (returning Status) without the lock.  Returns false with a
// Python exception set on a ParamError, an InternalFailure or exhaustion of
// memory; partial buffers are the caller's RAII objects and die with it.
// Long computations reach interruption points; this check re-takes the
// lock there, at most every few dozen milliseconds, to run pending signal
// handlers.  An exception from a handler (KeyboardInterrupt) stops the
// computation and is what the call raises.
class SignalCheck final : public InterruptCheck {
 public:
  explicit SignalCheck(PyThreadState*& released) : released_(released) {}
  bool stop_requested() override {
    const auto now = std::chrono::steady_clock::now();
    if (now - last_ < std::chrono::milliseconds(30)) return false;
    last_ = now;
    PyEval_RestoreThread(released_);
    const bool stop = PyErr_CheckSignals() < 0;
    released_ = PyEval_SaveThread();
    return stop;
  }

 private:
  PyThreadState*& released_;
  std::chrono::steady_clock::time_point last_ = std::chrono::steady_clock::now();
};

template <class Work>
bool run_released(Work&& work) {
  Status status;
  std::optional<std::string> failure;
  bool out_of_memory = false, interrupted = false;
  PyThreadState* released = PyEval_SaveThread();
  try {
    SignalCheck check(released);
    InterruptScope scope(check);
    status = std::forward<Work>(work)();
  } catch (const InternalFailure& e) {
    failure = e.what();
  } catch (const std::bad_alloc&) {
    out_of_memory = true;
  } catch (const Interrupt&) {
    interrupted = true;
  }
  PyEval_RestoreThread(released);
  if (interrupted) return false;  // the handler's exception is set
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
