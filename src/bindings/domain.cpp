// Python bindings of the domain simulators.
#include "bindings/submodules.hpp"

namespace tidemark::py {

// Functions are added here, in registration order, as they are built.
std::span<const FunctionEntry> domain_functions() { return {}; }

}  // namespace tidemark::py
