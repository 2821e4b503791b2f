// Python bindings of the volatility generators.
#include "bindings/submodules.hpp"

namespace tidemark::py {

// Functions are added here, in registration order, as they are built.
std::span<const FunctionEntry> volatility_functions() { return {}; }

}  // namespace tidemark::py
