// Python bindings of the analysis and augmentation functions.
#include "bindings/augmentation/entries.hpp"
#include "bindings/submodules.hpp"

namespace tidemark::py {

// Functions are added here, in registration order, as they are built.
std::span<const FunctionEntry> augmentation_functions() {
  static const FunctionEntry table[] = {
      kClassicalDecomposeEntry,     kComputeFeaturesEntry,       kComputeFeatureSetEntry,
      kComputeFeatureSetBatchEntry, kMovingBlockBootstrapEntry,  kMovingBlockBootstrapManyEntry,
  };
  return table;
}

}  // namespace tidemark::py
