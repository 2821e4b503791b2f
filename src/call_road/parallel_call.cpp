#include "call_road/parallel_call.hpp"

#include <optional>
#include <variant>

#include "call_road/errors.hpp"

namespace tidemark::py {

void raise_loop_failure(const LoopFailure& failure) {
  if (const auto* p = std::get_if<ParamError>(&failure)) {
    raise_value_error(p->message);
  } else if (const auto* i = std::get_if<InternalError>(&failure)) {
    raise_internal_failure(i->message);
  } else if (const auto* pool = std::get_if<PoolError>(&failure)) {
    raise_value_error("thread pool could not be built: " + pool->message);
  }
}

bool run_parallel_released(std::size_t n_workers, std::size_t n,
                           const std::function<Status(std::size_t)>& item) {
  PyThreadState* released = PyEval_SaveThread();
  auto check_signals = [&](std::size_t, std::size_t) {
    PyEval_RestoreThread(released);
    const bool go_on = PyErr_CheckSignals() == 0;
    released = PyEval_SaveThread();
    return go_on;
  };
  const std::optional<LoopFailure> failure =
      parallel_for_ordered(n_workers, n, item, check_signals);
  PyEval_RestoreThread(released);
  if (!failure) return true;
  if (!PyErr_Occurred()) raise_loop_failure(*failure);
  return false;
}

}  // namespace tidemark::py
