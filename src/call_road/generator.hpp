// The shared tail of every generator binding: validate the length, run the
// computational function on a zero-filled buffer without the lock, and hand
// the buffer to NumPy.
#pragma once

#include <cstdint>
#include <span>
#include <utility>
#include <vector>

#include "call_road/arrays.hpp"
#include "call_road/compute.hpp"
#include "call_road/errors.hpp"

namespace tidemark::py {

inline bool check_length(int32_t length) {
  if (length >= 1) return true;
  raise_value_error("length must be > 0");
  return false;
}

// `generate(std::span<double>) -> Status` fills the series.
template <class Generate>
PyObject* generate_values(int32_t length, Generate&& generate) {
  std::vector<double> values;
  const bool ok = run_released([&]() -> Status {
    values.assign(static_cast<std::size_t>(length), 0.0);
    return generate(std::span<double>(values));
  });
  return ok ? adopt_array(std::move(values)) : nullptr;
}

}  // namespace tidemark::py
