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
#include "core/buffer.hpp"
#include "core/memory.hpp"

namespace tidemark::py {

inline bool check_length(int32_t length) {
  if (length >= 1) return true;
  raise_value_error("length must be > 0");
  return false;
}

// A series too large for the memory left is refused before anything is
// allocated (MemoryError), rather than killing the process while its pages
// are touched.
inline bool check_result_memory(std::size_t bytes) {
  if (Status refused = check_available_memory(bytes, "the result")) {
    PyErr_SetString(PyExc_MemoryError, refused->message.c_str());
    return false;
  }
  return true;
}

// `generate(std::span<double>) -> Status` fills the series.
template <class Generate>
PyObject* generate_values(int32_t length, Generate&& generate) {
  const auto n = static_cast<std::size_t>(length);
  if (!check_result_memory(n * sizeof(double))) return nullptr;
  Buffer<double> values;
  const bool ok = run_released([&]() -> Status {
    values = Buffer<double>(n);
    return generate(values.span());
  });
  return ok ? adopt_array(std::move(values)) : nullptr;
}

}  // namespace tidemark::py
