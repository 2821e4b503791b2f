// Input arrays are copied into owned vectors before the lock is released;
// outputs are handed to NumPy without a copy.
#pragma once

#include <cstdint>
#include <cstring>
#include <new>
#include <optional>
#include <vector>

#include "call_road/python.hpp"

namespace tidemark::py {

inline constexpr const char* kNotContiguous = "The given array is not contiguous or is misaligned.";

// Contiguous and aligned, or empty (an empty view's strides don't matter).
bool is_copyable(PyArrayObject* arr);

// Copies a converted 1-d array of T into an owned vector; raises the
// contiguity TypeError (without note) and returns nullopt otherwise.
template <class T>
std::optional<std::vector<T>> copy_array(PyObject* obj) {
  auto* arr = reinterpret_cast<PyArrayObject*>(obj);
  if (!is_copyable(arr)) {
    PyErr_SetString(PyExc_TypeError, kNotContiguous);
    return std::nullopt;
  }
  try {
    std::vector<T> out(static_cast<std::size_t>(PyArray_SIZE(arr)));
    if (!out.empty()) std::memcpy(out.data(), PyArray_DATA(arr), out.size() * sizeof(T));
    return out;
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
    return std::nullopt;
  }
}

// New 1-d arrays that take over the vector's buffer through an owning base
// object, so the values are never copied.
PyObject* adopt_array(std::vector<double>&& values);
PyObject* adopt_array(std::vector<int64_t>&& values);
PyObject* adopt_array(std::vector<int32_t>&& values);

}  // namespace tidemark::py
