#include "call_road/arrays.hpp"

#include <utility>

namespace tidemark::py {

bool is_copyable(PyArrayObject* arr) {
  if (PyArray_SIZE(arr) == 0) return true;
  return PyArray_ISALIGNED(arr) && (PyArray_IS_C_CONTIGUOUS(arr) || PyArray_IS_F_CONTIGUOUS(arr));
}

bool still_array_of(PyArrayObject* arr, int type_num) {
  if (PyArray_NDIM(arr) != 1) return false;
  PyArray_Descr* want = PyArray_DescrFromType(type_num);
  const bool same = PyArray_EquivTypes(PyArray_DESCR(arr), want);
  Py_DECREF(want);
  return same;
}

namespace {

constexpr const char* kCapsuleName = "tidemark.buffer";

template <class Owned>
void free_buffer(PyObject* capsule) {
  delete static_cast<Owned*>(PyCapsule_GetPointer(capsule, kCapsuleName));
}

// Owned is a std::vector or a Buffer of the array's element type.
template <class Owned>
PyObject* adopt(Owned&& values, int type_num) {
  npy_intp n = static_cast<npy_intp>(values.size());
  if (n == 0) return PyArray_SimpleNew(1, &n, type_num);
  auto* owned = new (std::nothrow) Owned(std::move(values));
  if (!owned) return PyErr_NoMemory();
  PyObject* base = PyCapsule_New(owned, kCapsuleName, &free_buffer<Owned>);
  if (!base) {
    delete owned;
    return nullptr;
  }
  PyObject* arr = PyArray_SimpleNewFromData(1, &n, type_num, owned->data());
  if (!arr) {
    Py_DECREF(base);
    return nullptr;
  }
  if (PyArray_SetBaseObject(reinterpret_cast<PyArrayObject*>(arr), base) < 0) {  // steals base
    Py_DECREF(arr);
    return nullptr;
  }
  return arr;
}

template <class T>
PyObject* view(std::span<T> values, PyObject* owner, int type_num) {
  npy_intp n = static_cast<npy_intp>(values.size());
  if (n == 0) return PyArray_SimpleNew(1, &n, type_num);
  PyObject* arr = PyArray_SimpleNewFromData(1, &n, type_num, values.data());
  if (!arr) return nullptr;
  if (PyArray_SetBaseObject(reinterpret_cast<PyArrayObject*>(arr), Py_NewRef(owner)) < 0) {
    Py_DECREF(arr);
    return nullptr;
  }
  return arr;
}

}  // namespace

PyObject* view_array(std::span<double> values, PyObject* owner) {
  return view(values, owner, NPY_DOUBLE);
}
PyObject* view_array(std::span<int64_t> values, PyObject* owner) {
  return view(values, owner, NPY_INT64);
}

PyObject* adopt_array(std::vector<double>&& values) { return adopt(std::move(values), NPY_DOUBLE); }
PyObject* adopt_array(std::vector<int64_t>&& values) { return adopt(std::move(values), NPY_INT64); }
PyObject* adopt_array(std::vector<int32_t>&& values) { return adopt(std::move(values), NPY_INT32); }
PyObject* adopt_array(Buffer<double>&& values) { return adopt(std::move(values), NPY_DOUBLE); }

}  // namespace tidemark::py
