// The function tables of the nine submodules, in registration order.
#pragma once

#include <span>

#include "call_road/declaration.hpp"

namespace tidemark::py {

std::span<const FunctionEntry> augmentation_functions();
std::span<const FunctionEntry> pattern_injection_functions();
std::span<const FunctionEntry> distributions_functions();
std::span<const FunctionEntry> statistical_functions();
std::span<const FunctionEntry> stochastic_functions();
std::span<const FunctionEntry> volatility_functions();
std::span<const FunctionEntry> multivariate_functions();
std::span<const FunctionEntry> domain_functions();
std::span<const FunctionEntry> batch_functions();

}  // namespace tidemark::py
