// Module definition and execution: creates the nine submodules in a fixed
// order, registers their functions and enters each in sys.modules.
#define TIDEMARK_IMPORTS_NUMPY
#include "call_road/python.hpp"

#include <deque>
#include <mutex>
#include <string>

#include "bindings/submodules.hpp"

namespace tidemark::py {

namespace {

struct Submodule {
  const char* name;
  std::span<const FunctionEntry> (*functions)();
};

constexpr Submodule kSubmodules[] = {
    {"augmentation", augmentation_functions}, {"pattern_injection", pattern_injection_functions},
    {"distributions", distributions_functions}, {"statistical", statistical_functions},
    {"stochastic", stochastic_functions},     {"volatility", volatility_functions},
    {"multivariate", multivariate_functions}, {"domain", domain_functions},
    {"batch", batch_functions},
};

// Method definitions must outlive every function object made from them, so
// they are built once per process and never freed.  Only plain C++ runs
// under this lock.
PyMethodDef* method_def(const FunctionEntry& f) {
  static std::mutex mutex;
  static std::deque<PyMethodDef> defs;
  static std::deque<std::string> docs;
  std::lock_guard lock(mutex);
  for (PyMethodDef& d : defs) {
    if (d.ml_name == f.signature->name) return &d;
  }
  docs.push_back(doc_with_text_signature(*f.signature));
  defs.push_back(PyMethodDef{f.signature->name, reinterpret_cast<PyCFunction>(
                                                    reinterpret_cast<void (*)()>(f.entry)),
                             METH_FASTCALL | METH_KEYWORDS, docs.back().c_str()});
  return &defs.back();
}

// Sets the attribute and appends its name to __all__ (created on demand).
int add_exported(PyObject* module, const char* name, PyObject* value) {
  PyObject* all = PyObject_GetAttrString(module, "__all__");
  if (!all) {
    if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return -1;
    PyErr_Clear();
    all = PyList_New(0);
    if (!all || PyObject_SetAttrString(module, "__all__", all) < 0) {
      Py_XDECREF(all);
      return -1;
    }
  }
  PyObject* key = PyUnicode_FromString(name);
  const int appended = key ? PyList_Append(all, key) : -1;
  Py_XDECREF(key);
  Py_DECREF(all);
  if (appended < 0) return -1;
  return PyObject_SetAttrString(module, name, value);
}

PyObject* build_submodule(const Submodule& spec) {
  PyObject* sub = PyModule_New(spec.name);
  if (!sub) return nullptr;
  PyObject* module_name = PyUnicode_FromString(spec.name);
  if (!module_name) {
    Py_DECREF(sub);
    return nullptr;
  }
  for (const FunctionEntry& f : spec.functions()) {
    PyObject* fn = PyCFunction_NewEx(method_def(f), sub, module_name);
    const int rc = fn ? add_exported(sub, f.signature->name, fn) : -1;
    Py_XDECREF(fn);
    if (rc < 0) {
      Py_DECREF(module_name);
      Py_DECREF(sub);
      return nullptr;
    }
  }
  Py_DECREF(module_name);
  return sub;
}

int register_in_sys_modules(const char* name, PyObject* sub) {
  PyObject* sys = PyImport_ImportModule("sys");
  if (!sys) return -1;
  PyObject* modules = PyObject_GetAttrString(sys, "modules");
  Py_DECREF(sys);
  if (!modules) return -1;
  const std::string key = std::string("tidemark._lib.") + name;
  const int rc = PyMapping_SetItemString(modules, key.c_str(), sub);
  Py_DECREF(modules);
  return rc;
}

int exec_module(PyObject* module) {
  if (!PyModule_Check(module)) {
    PyErr_SetString(PyExc_TypeError, "tidemark._lib must be executed as a module");
    return -1;
  }
  if (PyArray_ImportNumPyAPI() < 0) return -1;
  PyObject* doc = PyUnicode_FromString(
      "tidemark native core: the natively accelerated generators of the tidemark package.");
  const int doc_rc = doc ? add_exported(module, "__doc__", doc) : -1;
  Py_XDECREF(doc);
  if (doc_rc < 0) return -1;
  for (const Submodule& spec : kSubmodules) {
    PyObject* sub = build_submodule(spec);
    if (!sub) return -1;
    const int rc = add_exported(module, spec.name, sub) < 0 ||
                           register_in_sys_modules(spec.name, sub) < 0
                       ? -1
                       : 0;
    Py_DECREF(sub);
    if (rc < 0) return -1;
  }
  return 0;
}

PyModuleDef_Slot module_slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(&exec_module)},
#if PY_VERSION_HEX >= 0x030D0000
    // Every function works on buffers it owns with the lock released, so
    // free-threaded interpreters need not re-enable the lock for us.
    {Py_mod_gil, Py_MOD_GIL_NOT_USED},
#endif
    {0, nullptr},
};

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT, "_lib", nullptr, 0, nullptr, module_slots, nullptr, nullptr, nullptr,
};

}  // namespace
}  // namespace tidemark::py

PyMODINIT_FUNC PyInit__lib() { return PyModuleDef_Init(&tidemark::py::module_def); }
