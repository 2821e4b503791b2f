// Indexed parallel loops with a first-failure slot: the first ParamError or
// InternalFailure recorded stops the remaining items, and results keep
// input order whatever the scheduling.
#pragma once

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
using LoopFailure = std::variant<ParamError, InternalError, PoolError>;

// Runs item(i) for i in [0, n) on the pool for `n_workers`; item returns a
// Status and may throw InternalFailure (or std::bad_alloc).  Returns the
// first recorded failure, if any.
std::optional<LoopFailure> parallel_for(std::size_t n_workers, std::size_t n,
                                        const std::function<Status(std::size_t)>& item);

}  // namespace tidemark
