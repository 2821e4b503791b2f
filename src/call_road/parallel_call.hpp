// Parallel loops run from a binding: failures of the loop become Python
// exceptions, and the waiting caller keeps running signal handlers.
#pragma once

#include <cstddef>
#include <functional>

#include "batch/parallel.hpp"
#include "call_road/python.hpp"

namespace tidemark::py {

// The exception of a loop's first failure: ValueError for a ParamError and
// for a pool that could not be built, InternalFailure for an internal one.
// An Interrupted loop raises nothing: the handler's exception is already set.
void raise_loop_failure(const LoopFailure& failure);

// Runs item(i) for i in [0, n) on the pool for `n_workers` with the lock
// released.  The calling thread re-takes the lock at least every 50 ms to
// run pending signal handlers; an exception from one (KeyboardInterrupt)
// stops the loop.  Returns false with a Python exception set.
bool run_parallel_released(std::size_t n_workers, std::size_t n,
                           const std::function<Status(std::size_t)>& item);

}  // namespace tidemark::py
