// Python bindings of the stochastic-process generators.
#include "bindings/submodules.hpp"

namespace tidemark::py {

// Functions are added here, in registration order, as they are built.
std::span<const FunctionEntry> stochastic_functions() { return {}; }

}  // namespace tidemark::py
