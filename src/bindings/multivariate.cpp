// Python bindings of the multivariate generators.
#include "bindings/submodules.hpp"

namespace tidemark::py {

// Functions are added here, in registration order, as they are built.
std::span<const FunctionEntry> multivariate_functions() { return {}; }

}  // namespace tidemark::py
