// How much memory this process may still take, for refusing work whose
// buffers cannot fit before any of it is allocated (on an overcommitting
// system the allocation itself would succeed and the process be killed
// later, while touching the pages).
#pragma once

#include <cstdint>
#include <optional>

#include "core/param_error.hpp"

namespace tidemark {

// The least of: the system's available memory, the room left under the
// process's cgroup limit and under its address-space limit.  nullopt when
// none of them can be read.
std::optional<uint64_t> available_memory_bytes();

// Requests below this size are not checked: reading the limits costs more
// than such allocations, and they cannot exhaust the machine by themselves.
inline constexpr uint64_t kMemoryCheckThreshold = uint64_t{64} << 20;

// A refusal when `bytes` (of `what`) exceed the available memory.
Status check_available_memory(uint64_t bytes, const char* what);

}  // namespace tidemark
