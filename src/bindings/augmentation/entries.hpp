// Function-table entries of the augmentation submodule, defined next to
// their bindings and listed in registration order by augmentation.cpp.
#pragma once

#include "call_road/declaration.hpp"

namespace tidemark::py {

extern const FunctionEntry kMarFeaturesBatchEntry;
extern const FunctionEntry kClassicalDecomposeEntry;
extern const FunctionEntry kComputeFeaturesEntry;
extern const FunctionEntry kComputeFeatureSetEntry;
extern const FunctionEntry kComputeFeatureSetBatchEntry;
extern const FunctionEntry kMovingBlockBootstrapEntry;
extern const FunctionEntry kMovingBlockBootstrapManyEntry;

}  // namespace tidemark::py
