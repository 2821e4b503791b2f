// Python bindings of the analysis and augmentation functions.
#include "bindings/augmentation/dtw.hpp"
#include "bindings/submodules.hpp"

namespace tidemark::py {
namespace {

// In registration order.
constexpr FunctionEntry kFunctions[] = {
    function<kDtwAlignment, dtw_alignment>(),
    function<kDtwDistance, dtw_distance>(),
    function<kNearestDtwNeighbors, nearest_dtw_neighbors>(),
    function<kDbaBarycenter, dba_barycenter>(),
    function<kDbaBarycenters, dba_barycenters>(),
};

}  // namespace

std::span<const FunctionEntry> augmentation_functions() { return kFunctions; }

}  // namespace tidemark::py
