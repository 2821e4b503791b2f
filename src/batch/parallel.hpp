// Indexed parallel loops with a first-failure slot: the first ParamError or
// InternalFailure recorded stops the remaining items, and results keep
// input order whatever the scheduling.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <variant>

#include "core/param_error.hpp"

namespace tidemark {

struct PoolError {  // the pool could not be built
  std::string message;
};
struct InternalError {  // an InternalFailure thrown inside an item
  std::string message;
};
struct Interrupted {  // the caller's deliver() asked the loop to stop
  std::string message = "interrupted";
};
using LoopFailure = std::variant<ParamError, InternalError, PoolError, Interrupted>;

// Runs item(i) for i in [0, n) on the pool for `n_workers`; item returns a
// Status and may throw InternalFailure (or std::bad_alloc).  Returns the
// first recorded failure, if any.
std::optional<LoopFailure> parallel_for(std::size_t n_workers, std::size_t n,
                                        const std::function<Status(std::size_t)>& item);

// As parallel_for, and while the loop runs the calling thread hands over
// finished items in input order: deliver(begin, end) receives the items
// finished since its last call, so that by the end [0, n) has been
// delivered exactly once; between items it is called with an empty range at
// least every `interval`.  deliver returning false stops the loop (items not
// yet started are skipped) and the result is Interrupted unless an item
// failed first.  Nothing is delivered once an item has failed.
std::optional<LoopFailure> parallel_for_ordered(
    std::size_t n_workers, std::size_t n, const std::function<Status(std::size_t)>& item,
    const std::function<bool(std::size_t begin, std::size_t end)>& deliver,
    std::chrono::milliseconds interval = std::chrono::milliseconds(50));

}  // namespace tidemark
