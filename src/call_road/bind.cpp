#include <cstring>
#include <limits>
#include <new>
#include <string>

#include "call_road/declaration.hpp"
#include "call_road/errors.hpp"

namespace tidemark::py {
namespace {

std::string type_name(PyObject* obj) { return Py_TYPE(obj)->tp_name; }

std::string plural(std::size_t n, const char* word) {
  return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
}

std::size_t required_count(const Signature& sig) {
  std::size_t n = 0;
  for (const Param& p : sig.params) n += p.default_value == nullptr;
  return n;
}

// "'a'", "'a' and 'b'", "'a', 'b', and 'c'", as CPython lists missing names.
std::string quoted_list(const std::vector<const char*>& names) {
  std::string out;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) out += names.size() > 2 ? ", " : " ";
    if (i > 0 && i + 1 == names.size()) out += "and ";
    out += "'" + std::string(names[i]) + "'";
  }
  return out;
}

bool too_many_positional(const Signature& sig, Py_ssize_t nargs) {
  const std::size_t total = sig.params.size(), required = required_count(sig);
  std::string takes = required == total
                          ? plural(total, "positional argument")
                          : "from " + std::to_string(required) + " to " + std::to_string(total) +
                                " positional arguments";
  std::string msg = std::string(sig.name) + "() takes " + takes + " but " +
                    std::to_string(nargs) + (nargs == 1 ? " was" : " were") + " given";
  raise_type_error(msg);
  return false;
}

int param_index(const Signature& sig, PyObject* keyword) {
  for (std::size_t i = 0; i < sig.params.size(); ++i) {
    if (PyUnicode_CompareWithASCIIString(keyword, sig.params[i].name) == 0) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

bool place_keywords(const Signature& sig, PyObject* const* kwvalues, PyObject* kwnames,
                    std::array<PyObject*, kMaxParams>& slots) {
  const Py_ssize_t n = PyTuple_GET_SIZE(kwnames);
  for (Py_ssize_t k = 0; k < n; ++k) {
    PyObject* name = PyTuple_GET_ITEM(kwnames, k);
    const int i = param_index(sig, name);
    if (i < 0) {
      PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument '%U'", sig.name,
                   name);
      return false;
    }
    if (slots[static_cast<std::size_t>(i)]) {
      PyErr_Format(PyExc_TypeError, "%s() got multiple values for argument '%s'", sig.name,
                   sig.params[static_cast<std::size_t>(i)].name);
      return false;
    }
    slots[static_cast<std::size_t>(i)] = kwvalues[k];
  }
  return true;
}

bool report_missing(const Signature& sig, const std::array<PyObject*, kMaxParams>& slots) {
  std::vector<const char*> missing;
  for (std::size_t i = 0; i < sig.params.size(); ++i) {
    if (!slots[i] && !sig.params[i].default_value) missing.push_back(sig.params[i].name);
  }
  if (missing.empty()) return true;
  raise_type_error(std::string(sig.name) + "() missing " +
                   plural(missing.size(), "required positional argument") + ": " +
                   quoted_list(missing));
  return false;
}

// --- conversions -----------------------------------------------------------

bool to_int64(PyObject* obj, long long& out) {
  PyObject* index = PyNumber_Index(obj);
  if (!index) return false;
  int overflow = 0;
  out = PyLong_AsLongLongAndOverflow(index, &overflow);
  if (overflow) (void)PyLong_AsLongLong(index);  // CPython's own message
  Py_DECREF(index);
  return !overflow && !(out == -1 && PyErr_Occurred());
}

bool convert_integer(PyObject* obj, Args::Value& out) {
  long long v;
  if (!to_int64(obj, v)) return false;
  if (v > std::numeric_limits<int32_t>::max() || v < std::numeric_limits<int32_t>::min()) {
    PyErr_SetString(PyExc_OverflowError, v > 0 ? "number too large to fit in target type"
                                               : "number too small to fit in target type");
    return false;
  }
  out = static_cast<int32_t>(v);
  return true;
}

bool convert_seed(PyObject* obj, Args::Value& out) {
  PyObject* index = PyNumber_Index(obj);
  if (!index) return false;
  const unsigned long long v = PyLong_AsUnsignedLongLong(index);
  Py_DECREF(index);
  if (v == static_cast<unsigned long long>(-1) && PyErr_Occurred()) return false;
  out = static_cast<uint64_t>(v);
  return true;
}

bool convert_size(PyObject* obj, Args::Value& out) {
  PyObject* index = PyNumber_Index(obj);
  if (!index) return false;
  const std::size_t v = PyLong_AsSize_t(index);
  Py_DECREF(index);
  if (v == static_cast<std::size_t>(-1) && PyErr_Occurred()) return false;
  out = MachineWord{v};
  return true;
}

bool convert_real(PyObject* obj, Args::Value& out) {
  if (PyFloat_CheckExact(obj)) {
    out = PyFloat_AS_DOUBLE(obj);
    return true;
  }
  const double v = PyFloat_AsDouble(obj);
  if (v == -1.0 && PyErr_Occurred()) return false;
  out = v;
  return true;
}

bool is_numpy_bool(PyObject* obj) {
  PyTypeObject* t = Py_TYPE(obj);
  const char* dot = std::strrchr(t->tp_name, '.');
  if (!dot || std::strncmp(t->tp_name, "numpy.", 6) != 0 ||
      dot != t->tp_name + 5) {
    return false;
  }
  return std::strcmp(dot + 1, "bool_") == 0 || std::strcmp(dot + 1, "bool") == 0;
}

bool convert_flag(PyObject* obj, Args::Value& out) {
  if (obj == Py_True || obj == Py_False) {
    out = obj == Py_True;
    return true;
  }
  if (is_numpy_bool(obj)) {
    const int truth = PyObject_IsTrue(obj);
    if (truth < 0) return false;
    out = truth == 1;
    return true;
  }
  raise_type_error("expected a bool, got '" + type_name(obj) + "'");
  return false;
}

bool convert_string(PyObject* obj, Args::Value& out) {
  if (!PyUnicode_Check(obj)) {
    raise_type_error("expected a str, got '" + type_name(obj) + "'");
    return false;
  }
  Py_ssize_t size;
  const char* utf8 = PyUnicode_AsUTF8AndSize(obj, &size);
  if (!utf8) {  // a lone surrogate: a str, but not a text the core can read
    PyErr_Clear();
    raise_type_error("expected a str encodable as UTF-8 (it holds a lone surrogate)");
    return false;
  }
  out = std::string(utf8, static_cast<std::size_t>(size));
  return true;
}

bool is_sequence(PyObject* obj) {
  if (PySequence_Check(obj)) return true;
  PyObject* abc = PyImport_ImportModule("collections.abc");
  if (!abc) return false;
  PyObject* sequence = PyObject_GetAttrString(abc, "Sequence");
  Py_DECREF(abc);
  if (!sequence) return false;
  const int r = PyObject_IsInstance(obj, sequence);
  Py_DECREF(sequence);
  if (r < 0) PyErr_Clear();
  return r == 1;
}

bool convert_string_sequence(PyObject* obj, Args::Value& out) {
  if (PyUnicode_Check(obj)) {
    raise_type_error("a str cannot be taken as a sequence of strings");
    return false;
  }
  if (!is_sequence(obj)) {
    if (!PyErr_Occurred()) {
      raise_type_error("'" + type_name(obj) + "' object is not an instance of 'Sequence'");
    }
    return false;
  }
  PyObject* iter = PyObject_GetIter(obj);
  if (!iter) return false;
  std::vector<std::string> items;
  while (PyObject* item = PyIter_Next(iter)) {
    Args::Value v;
    const bool ok = convert_string(item, v);
    Py_DECREF(item);
    if (!ok) break;
    items.push_back(std::move(std::get<std::string>(v)));
  }
  Py_DECREF(iter);
  if (PyErr_Occurred()) return false;
  out = std::move(items);
  return true;
}

const char* dtype_name(int type_num) {
  switch (type_num) {
    case NPY_DOUBLE: return "float64";
    case NPY_INT32: return "int32";
    case NPY_UINT64: return "uint64";
    case NPY_INT64: return "int64";
    default: return "?";
  }
}

bool convert_array(PyObject* obj, int type_num, Args::Value& out) {
  if (PyArray_Check(obj)) {
    auto* arr = reinterpret_cast<PyArrayObject*>(obj);
    PyArray_Descr* want = PyArray_DescrFromType(type_num);
    const bool same = PyArray_EquivTypes(PyArray_DESCR(arr), want);
    Py_DECREF(want);
    if (same && PyArray_NDIM(arr) == 1) {
      out = obj;
      return true;
    }
  }
  PyObject* shown = PyArray_Check(obj) ? PyObject_Str(reinterpret_cast<PyObject*>(
                                             PyArray_DESCR(reinterpret_cast<PyArrayObject*>(obj))))
                                       : nullptr;
  std::string got = "'" + type_name(obj) + "'";
  if (shown) {
    const char* s = PyUnicode_AsUTF8(shown);
    got = std::to_string(PyArray_NDIM(reinterpret_cast<PyArrayObject*>(obj))) +
          "-dimensional array of dtype " + (s ? s : "?");
    Py_DECREF(shown);
    PyErr_Clear();
  }
  raise_type_error(std::string("expected a one-dimensional NumPy array of dtype ") +
                   dtype_name(type_num) + ", got " + got);
  return false;
}

bool convert_array_list(PyObject* obj, Args::Value& out) {
  if (!PyList_Check(obj)) {
    raise_type_error("expected a list of float64 arrays, got '" + type_name(obj) + "'");
    return false;
  }
  PyObject* items = PyList_AsTuple(obj);  // stable even if the list changes meanwhile
  if (!items) return false;
  bool ok = true;
  for (Py_ssize_t i = 0; ok && i < PyTuple_GET_SIZE(items); ++i) {
    Args::Value item;
    ok = convert_array(PyTuple_GET_ITEM(items, i), NPY_DOUBLE, item);
  }
  Py_DECREF(items);
  if (ok) out = obj;
  return ok;
}

// --- kinds of the analysis functions ---------------------------------------

bool convert_optional_int64(PyObject* obj, Args::Value& out) {
  if (obj == Py_None) {
    out = std::monostate{};
    return true;
  }
  long long v;
  if (!to_int64(obj, v)) return false;
  out = static_cast<int64_t>(v);
  return true;
}

// Takes the items of a sequence (a str refused) by iteration, in order, and
// hands each to `item`; false with a Python error set.
template <class Item>
bool for_each_item(PyObject* obj, const char* str_message, Item&& item) {
  if (PyUnicode_Check(obj)) {
    raise_type_error(str_message);
    return false;
  }
  if (!is_sequence(obj)) {
    if (!PyErr_Occurred()) {
      raise_type_error("'" + type_name(obj) + "' object is not an instance of 'Sequence'");
    }
    return false;
  }
  PyObject* iter = PyObject_GetIter(obj);
  if (!iter) return false;
  while (PyObject* element = PyIter_Next(iter)) {
    const bool ok = item(element);
    Py_DECREF(element);
    if (!ok) break;
  }
  Py_DECREF(iter);
  return !PyErr_Occurred();
}

// Appends without letting std::bad_alloc cross the C API frames around us.
template <class T>
bool append(std::vector<T>& v, T&& value) {
  try {
    v.push_back(std::move(value));
    return true;
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
    return false;
  }
}

// The items are checked now and kept in a new list, so that the copies made
// after validation see the same objects whatever the sequence does later.
bool convert_array_sequence(PyObject* obj, Args::Value& out) {
  PyObject* list = PyList_New(0);
  if (!list) return false;
  const bool ok = for_each_item(obj, "a str cannot be taken as a sequence of arrays",
                                [&](PyObject* element) {
                                  Args::Value checked;
                                  return convert_array(element, NPY_DOUBLE, checked) &&
                                         PyList_Append(list, element) == 0;
                                });
  if (!ok) {
    Py_DECREF(list);
    return false;
  }
  out = OwnedObject(list);
  return true;
}

bool read_reals(PyObject* obj, std::vector<double>& out) {
  return for_each_item(obj, "a str cannot be taken as a sequence of reals", [&](PyObject* item) {
    Args::Value v;
    return convert_real(item, v) && append(out, std::move(std::get<double>(v)));
  });
}

bool read_real_lists(PyObject* obj, std::vector<std::vector<double>>& out) {
  return for_each_item(obj, "a str cannot be taken as a sequence of sequences",
                       [&](PyObject* item) {
                         std::vector<double> row;
                         return read_reals(item, row) && append(out, std::move(row));
                       });
}

bool read_real_list_lists(PyObject* obj, std::vector<std::vector<std::vector<double>>>& out) {
  return for_each_item(obj, "a str cannot be taken as a sequence of sequences",
                       [&](PyObject* item) {
                         std::vector<std::vector<double>> rows;
                         return read_real_lists(item, rows) && append(out, std::move(rows));
                       });
}

bool read_seeds(PyObject* obj, std::vector<uint64_t>& out) {
  return for_each_item(obj, "a str cannot be taken as a sequence of integers",
                       [&](PyObject* item) {
                         Args::Value v;
                         return convert_seed(item, v) &&
                                append(out, std::move(std::get<uint64_t>(v)));
                       });
}

bool read_seed_lists(PyObject* obj, std::vector<std::vector<uint64_t>>& out) {
  return for_each_item(obj, "a str cannot be taken as a sequence of sequences",
                       [&](PyObject* item) {
                         std::vector<uint64_t> row;
                         return read_seeds(item, row) && append(out, std::move(row));
                       });
}

// Converts by `read` into a fresh T and stores it in out.
template <class T, class Read>
bool convert_nested(PyObject* obj, Args::Value& out, Read read) {
  T value;
  if (!read(obj, value)) return false;
  out = std::move(value);
  return true;
}

bool convert_by_kind(PyObject* obj, Kind kind, Args::Value& out) {
  switch (kind) {
    case Kind::Integer: return convert_integer(obj, out);
    case Kind::Seed: return convert_seed(obj, out);
    case Kind::Size: return convert_size(obj, out);
    case Kind::Real: return convert_real(obj, out);
    case Kind::OptionalReal:
      if (obj == Py_None) {
        out = std::monostate{};
        return true;
      }
      return convert_real(obj, out);
    case Kind::Flag: return convert_flag(obj, out);
    case Kind::String: return convert_string(obj, out);
    case Kind::StringSequence: return convert_string_sequence(obj, out);
    case Kind::RealArray: return convert_array(obj, NPY_DOUBLE, out);
    case Kind::Int32Array: return convert_array(obj, NPY_INT32, out);
    case Kind::UInt64Array: return convert_array(obj, NPY_UINT64, out);
    case Kind::Int64Array: return convert_array(obj, NPY_INT64, out);
    case Kind::OptionalSeed:
      if (obj == Py_None) {
        out = std::monostate{};
        return true;
      }
      return convert_seed(obj, out);
    case Kind::SeedSequence:
      return convert_nested<std::vector<uint64_t>>(obj, out, read_seeds);
    case Kind::SeedSequenceSequence:
      return convert_nested<std::vector<std::vector<uint64_t>>>(obj, out, read_seed_lists);
    case Kind::RealSequenceSequenceSequence:
      return convert_nested<std::vector<std::vector<std::vector<double>>>>(obj, out,
                                                                          read_real_list_lists);
    case Kind::RealArrayList: return convert_array_list(obj, out);
    case Kind::Dict:
      if (PyDict_Check(obj)) {
        out = obj;
        return true;
      }
      raise_type_error("expected a dict, got '" + type_name(obj) + "'");
      return false;
    case Kind::List:
      if (PyList_Check(obj)) {
        out = obj;
        return true;
      }
      raise_type_error("expected a list, got '" + type_name(obj) + "'");
      return false;
    case Kind::OptionalInt64: return convert_optional_int64(obj, out);
    case Kind::RealArraySequence: return convert_array_sequence(obj, out);
    case Kind::RealSequenceSequence:
      return convert_nested<std::vector<std::vector<double>>>(obj, out, read_real_lists);
  }
  return false;
}

// Defaults are written as the Python literals of the text signature.
void default_value(const Param& p, Args::Value& out) {
  const std::string_view text = p.default_value;
  if (text == "None") {
    out = std::monostate{};
  } else if (p.kind == Kind::Integer) {
    out = static_cast<int32_t>(std::stol(std::string(text)));
  } else if (p.kind == Kind::Size) {
    out = MachineWord{static_cast<std::size_t>(std::stoul(std::string(text)))};
  } else {
    out = std::stod(std::string(text));
  }
}

}  // namespace

bool convert_argument(PyObject* obj, const Param& param, Args::Value& out) {
  if (convert_by_kind(obj, param.kind, out)) return true;
  add_note_to_current_error(std::string("while processing '") + param.name + "'");
  return false;
}

bool bind_arguments(const Signature& sig, PyObject* const* args, Py_ssize_t nargs,
                    PyObject* kwnames, Args& out) {
  nargs = PyVectorcall_NARGS(nargs);
  const std::size_t n = sig.params.size();
  if (static_cast<std::size_t>(nargs) > n) return too_many_positional(sig, nargs);
  std::array<PyObject*, kMaxParams> slots{};
  for (Py_ssize_t i = 0; i < nargs; ++i) slots[static_cast<std::size_t>(i)] = args[i];
  if (kwnames && !place_keywords(sig, args + nargs, kwnames, slots)) return false;
  if (!report_missing(sig, slots)) return false;
  for (std::size_t i = 0; i < n; ++i) {
    if (!slots[i]) {
      default_value(sig.params[i], out.slot(i));
    } else if (!convert_argument(slots[i], sig.params[i], out.slot(i))) {
      return false;
    }
  }
  return true;
}

std::optional<std::vector<std::vector<double>>> copy_arrays(PyObject* items) {
  std::vector<std::vector<double>> out;
  try {
    out.reserve(static_cast<std::size_t>(PyList_GET_SIZE(items)));
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
    return std::nullopt;
  }
  for (Py_ssize_t i = 0; i < PyList_GET_SIZE(items); ++i) {
    auto copy = copy_array<double>(PyList_GET_ITEM(items, i));
    if (!copy) return std::nullopt;
    out.push_back(std::move(*copy));
  }
  return out;
}

std::string doc_with_text_signature(const Signature& sig) {
  std::string doc = std::string(sig.name) + "(";
  for (std::size_t i = 0; i < sig.params.size(); ++i) {
    if (i > 0) doc += ", ";
    doc += sig.params[i].name;
    if (sig.params[i].default_value) doc += std::string("=") + sig.params[i].default_value;
  }
  doc += ")\n--\n\n";
  doc += sig.doc;
  return doc;
}

}  // namespace tidemark::py
