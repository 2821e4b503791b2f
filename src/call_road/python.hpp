// Python and NumPy C API, included the same way by every binding file.  The
// NumPy API table is imported once, in module execution (module.cpp).
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#define PY_ARRAY_UNIQUE_SYMBOL tidemark_ARRAY_API
#ifndef TIDEMARK_IMPORTS_NUMPY
#define NO_IMPORT_ARRAY
#endif
#include <numpy/arrayobject.h>
