// Parallel loops of the analysis functions on the process-wide default
// pool, with failures in the forms a direct call reports.
#pragma once

#include <cstddef>
#include <functional>

#include "core/param_error.hpp"

namespace tidemark {

// Runs item(i) for i in [0, n) on the default pool, the caller waiting.  The
// first failure wins and stops items not yet started: a ParamError is
// returned, an internal failure rethrown as InternalFailure, exhausted
// memory inside an item as std::bad_alloc.  A pool that cannot be built is
// a ParamError.
Status run_on_default_pool(std::size_t n, const std::function<Status(std::size_t)>& item);

}  // namespace tidemark
