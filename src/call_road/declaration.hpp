// One declaration per Python function (name, parameters with their
// conversion kinds and defaults, doc) drives argument binding, conversion,
// the text signature and the "while processing" notes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "call_road/python.hpp"

namespace tidemark::py {

enum class Kind : uint8_t {
  Integer,         // signed 32-bit
  Seed,            // unsigned 64-bit
  Size,            // unsigned machine word (n_workers)
  Real,            // double
  OptionalReal,    // None or double
  Flag,            // True/False or a NumPy bool scalar
  String,          // str
  StringSequence,  // sequence of str, a str itself refused
  RealArray,       // 1-d float64 ndarray
  Int32Array,      // 1-d int32 ndarray
  UInt64Array,     // 1-d uint64 ndarray
  RealArrayList,   // list of 1-d float64 ndarrays
  Dict,            // dict or subclass
  List,            // list or subclass
};

struct Param {
  const char* name;
  Kind kind;
  const char* default_value = nullptr;  // Python literal ("0", "0.0", "None"); nullptr: required
};

struct Signature {
  const char* name;
  std::span<const Param> params;
  const char* doc = "";
};

inline constexpr std::size_t kMaxParams = 24;

// The converted arguments of one call, indexed like the Signature's params.
// Objects (arrays, lists, dicts) are borrowed from the caller's arguments,
// which outlive the call.
// An unsigned machine word, kept apart from the 64-bit seed in the variant.
struct MachineWord {
  std::size_t value;
};

class Args {
 public:
  using Value = std::variant<std::monostate, int32_t, uint64_t, MachineWord, double, bool,
                             std::string, std::vector<std::string>, PyObject*>;

  int32_t integer(std::size_t i) const { return std::get<int32_t>(values_[i]); }
  uint64_t seed(std::size_t i) const { return std::get<uint64_t>(values_[i]); }
  std::size_t size(std::size_t i) const { return std::get<MachineWord>(values_[i]).value; }
  double real(std::size_t i) const { return std::get<double>(values_[i]); }
  std::optional<double> optional_real(std::size_t i) const {
    if (const double* v = std::get_if<double>(&values_[i])) return *v;
    return std::nullopt;
  }
  bool flag(std::size_t i) const { return std::get<bool>(values_[i]); }
  const std::string& string(std::size_t i) const { return std::get<std::string>(values_[i]); }
  const std::vector<std::string>& strings(std::size_t i) const {
    return std::get<std::vector<std::string>>(values_[i]);
  }
  PyObject* object(std::size_t i) const { return std::get<PyObject*>(values_[i]); }

  Value& slot(std::size_t i) { return values_[i]; }

 private:
  std::array<Value, kMaxParams> values_;
};

// Binds positional and keyword arguments to the signature and converts each
// by its kind, in parameter order.  Returns false with a Python error set.
bool bind_arguments(const Signature& sig, PyObject* const* args, Py_ssize_t nargs,
                    PyObject* kwnames, Args& out);

// Converts one object by kind; used by the binding and by the batch engine
// for the values of a spec dict.  Adds the "while processing" note.
bool convert_argument(PyObject* obj, const Param& param, Args::Value& out);

using Handler = PyObject* (*)(Args&);

template <const Signature& S, Handler H>
PyObject* entry_point(PyObject* /*module*/, PyObject* const* args, Py_ssize_t nargs,
                      PyObject* kwnames) {
  Args a;
  if (!bind_arguments(S, args, nargs, kwnames, a)) return nullptr;
  return H(a);
}

struct FunctionEntry {
  const Signature* signature;
  PyObject* (*entry)(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);
};

template <const Signature& S, Handler H>
constexpr FunctionEntry function() {
  return {&S, &entry_point<S, H>};
}

// "name(a, b=0)\n--\n\n" followed by the doc, as CPython's inspect expects.
std::string doc_with_text_signature(const Signature& sig);

}  // namespace tidemark::py
