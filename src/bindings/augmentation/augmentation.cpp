// Python bindings of the analysis and augmentation functions.
#include "bindings/submodules.hpp"

namespace tidemark::py {

// Functions are added here, in registration order, as they are built.
std::span<const FunctionEntry> augmentation_functions() { return {}; }

}  // namespace tidemark::py
