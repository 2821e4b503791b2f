// Python bindings of the analysis and augmentation functions.
#include "bindings/augmentation/dtw.hpp"
#include "bindings/augmentation/entries.hpp"
#include "bindings/submodules.hpp"

namespace tidemark::py {

// In registration order.
std::span<const FunctionEntry> augmentation_functions() {
  static const FunctionEntry table[] = {
      function<kDtwAlignment, dtw_alignment>(),
      function<kDtwDistance, dtw_distance>(),
      function<kNearestDtwNeighbors, nearest_dtw_neighbors>(),
      function<kDbaBarycenter, dba_barycenter>(),
      function<kDbaBarycenters, dba_barycenters>(),
      kMarFeaturesBatchEntry,
      kClassicalDecomposeEntry,
      kComputeFeaturesEntry,
      kComputeFeatureSetEntry,
      kComputeFeatureSetBatchEntry,
      kMovingBlockBootstrapEntry,
      kMovingBlockBootstrapManyEntry,
  };
  return table;
}

}  // namespace tidemark::py
