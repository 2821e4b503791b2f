// A violated internal check (a sampler refusing its parameters, an impossible
// state).  Thrown inside the computation and raised to Python as the
// BaseException subclass InternalFailure, so ordinary `except Exception`
// handlers do not swallow it.
#pragma once

#include <stdexcept>

namespace tidemark {

class InternalFailure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

[[noreturn]] inline void internal_failure(const char* message) { throw InternalFailure(message); }

}  // namespace tidemark
