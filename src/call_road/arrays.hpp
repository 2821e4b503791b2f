// Input arrays are copied into owned vectors before the lock is released;
// outputs are handed to NumPy without a copy.
#pragma once

#include <cstdint>
#include <cstring>
#include <new>
#include <optional>
#include <span>
#include <type_traits>
#include <vector>

#include "call_road/python.hpp"
#include "core/buffer.hpp"

namespace tidemark::py {

inline constexpr const char* kNotContiguous = "The given array is not contiguous or is misaligned.";

// Contiguous and aligned, or empty (an empty view's strides don't matter).
bool is_copyable(PyArrayObject* arr);

inline constexpr const char* kKindChanged =
    "The given array's dtype or shape changed after the argument was converted.";

template <class T>
constexpr int numpy_type_of() {
  static_assert(std::is_same_v<T, double> || std::is_same_v<T, int32_t> ||
                std::is_same_v<T, int64_t> || std::is_same_v<T, uint64_t>);
  if constexpr (std::is_same_v<T, double>) {
    return NPY_DOUBLE;
  } else if constexpr (std::is_same_v<T, int32_t>) {
    return NPY_INT32;
  } else if constexpr (std::is_same_v<T, int64_t>) {
    return NPY_INT64;
  } else {
    return NPY_UINT64;
  }
}

// Still the 1-d array of T it was converted as: Python code run by a later
// conversion (__index__, __float__) may have reassigned its dtype or shape,
// and the copy below sizes itself by T.
bool still_array_of(PyArrayObject* arr, int type_num);

// Copies a converted 1-d array of T into an owned vector; raises the
// contiguity TypeError (without note) and returns nullopt otherwise.
template <class T>
std::optional<std::vector<T>> copy_array(PyObject* obj) {
  auto* arr = reinterpret_cast<PyArrayObject*>(obj);
  if (!still_array_of(arr, numpy_type_of<T>())) {
    PyErr_SetString(PyExc_TypeError, kKindChanged);
    return std::nullopt;
  }
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

// Copies a converted 1-d array of T into an owned Buffer (huge pages for
// large inputs); raises as copy_array.
template <class T>
std::optional<Buffer<T>> copy_to_buffer(PyObject* obj) {
  auto* arr = reinterpret_cast<PyArrayObject*>(obj);
  if (!still_array_of(arr, numpy_type_of<T>())) {
    PyErr_SetString(PyExc_TypeError, kKindChanged);
    return std::nullopt;
  }
  if (!is_copyable(arr)) {
    PyErr_SetString(PyExc_TypeError, kNotContiguous);
    return std::nullopt;
  }
  try {
    Buffer<T> out(static_cast<std::size_t>(PyArray_SIZE(arr)));
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
// An array over `values`, kept alive by `owner` (which owns the vector);
// several arrays may share one owner.
PyObject* view_array(std::span<double> values, PyObject* owner);
PyObject* view_array(std::span<int64_t> values, PyObject* owner);
PyObject* adopt_array(std::vector<int64_t>&& values);
PyObject* adopt_array(std::vector<int32_t>&& values);
PyObject* adopt_array(Buffer<double>&& values);

}  // namespace tidemark::py
