// One declaration per Python function (name, parameters with their
// conversion kinds and defaults, doc) drives argument binding, conversion,
// the text signature and the "while processing" notes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "call_road/arrays.hpp"
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
  // Analysis functions (DTW, DBA)
  OptionalInt64,        // None or signed 64-bit
  RealArraySequence,    // sequence (not str) of 1-d float64 ndarrays
  RealSequenceSequence, // sequence (not str) of sequences (not str) of reals
  // Feature and bootstrap functions
  OptionalSeed,    // None or unsigned 64-bit
  Int64Array,      // 1-d int64 ndarray
  SeedSequence,    // sequence of unsigned 64-bit integers, a str refused
  // MAR feature scoring
  SeedSequenceSequence,          // sequence of sequences of unsigned 64-bit integers
  RealSequenceSequenceSequence,  // sequence of sequences of sequences of reals
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

// A strong reference held by a converted value: the snapshot list a
// sequence conversion builds.  Created and destroyed with the lock held.
class OwnedObject {
 public:
  explicit OwnedObject(PyObject* steal) : obj_(steal) {}
  OwnedObject(const OwnedObject& o) : obj_(Py_XNewRef(o.obj_)) {}
  OwnedObject(OwnedObject&& o) noexcept : obj_(o.obj_) { o.obj_ = nullptr; }
  OwnedObject& operator=(OwnedObject o) noexcept {
    std::swap(obj_, o.obj_);
    return *this;
  }
  ~OwnedObject() { Py_XDECREF(obj_); }
  PyObject* get() const { return obj_; }

 private:
  PyObject* obj_;
};

class Args {
 public:
  using Value = std::variant<std::monostate, int32_t, uint64_t, MachineWord, double, bool,
                             std::string, std::vector<std::string>, PyObject*, int64_t,
                             OwnedObject, std::vector<std::vector<double>>,
                             std::vector<uint64_t>, std::vector<std::vector<uint64_t>>,
                             std::vector<std::vector<std::vector<double>>>>;

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
  std::optional<uint64_t> optional_seed(std::size_t i) const {
    if (const uint64_t* v = std::get_if<uint64_t>(&values_[i])) return *v;
    return std::nullopt;
  }
  const std::vector<uint64_t>& seeds(std::size_t i) const {
    return std::get<std::vector<uint64_t>>(values_[i]);
  }
  const std::vector<std::vector<uint64_t>>& seed_lists(std::size_t i) const {
    return std::get<std::vector<std::vector<uint64_t>>>(values_[i]);
  }
  const std::vector<std::vector<std::vector<double>>>& real_list_lists(std::size_t i) const {
    return std::get<std::vector<std::vector<std::vector<double>>>>(values_[i]);
  }
  std::optional<int64_t> optional_int64(std::size_t i) const {
    if (const int64_t* v = std::get_if<int64_t>(&values_[i])) return *v;
    return std::nullopt;
  }
  // The list of already type-checked items of a sequence kind.
  PyObject* items(std::size_t i) const { return std::get<OwnedObject>(values_[i]).get(); }
  const std::vector<std::vector<double>>& real_lists(std::size_t i) const {
    return std::get<std::vector<std::vector<double>>>(values_[i]);
  }

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

// Copies each float64 array of a converted sequence's item list.
std::optional<std::vector<std::vector<double>>> copy_arrays(PyObject* items);

// A parameter name as a template argument, so that handlers read their
// arguments by name and a misspelt name fails to compile.
template <std::size_t N>
struct ParamName {
  char chars[N]{};
  consteval ParamName(const char (&s)[N]) {
    for (std::size_t i = 0; i < N; ++i) chars[i] = s[i];
  }
};

consteval bool same_name(const char* a, const char* b) {
  for (; *a && *a == *b; ++a, ++b) {
  }
  return *a == *b;
}

// The converted arguments of one call to the function declared by S, read
// by name.  The name is looked up in the declaration when compiling and the
// accessor's kind checked against the declared one, so neither a misspelt
// name nor a positional slip nor a wrong kind compiles.
template <const Signature& S>
class Bound {
 public:
  explicit Bound(const Args& args) : args_(args) {}

  template <ParamName N>
  int32_t integer() const { return args_.integer(index<N>(Kind::Integer)); }
  template <ParamName N>
  uint64_t seed() const { return args_.seed(index<N>(Kind::Seed)); }
  template <ParamName N>
  std::size_t size() const { return args_.size(index<N>(Kind::Size)); }
  template <ParamName N>
  double real() const { return args_.real(index<N>(Kind::Real)); }
  template <ParamName N>
  std::optional<double> optional_real() const {
    return args_.optional_real(index<N>(Kind::OptionalReal));
  }
  template <ParamName N>
  bool flag() const { return args_.flag(index<N>(Kind::Flag)); }
  template <ParamName N>
  const std::string& string() const { return args_.string(index<N>(Kind::String)); }
  template <ParamName N>
  const std::vector<std::string>& strings() const {
    return args_.strings(index<N>(Kind::StringSequence));
  }
  template <ParamName N>
  std::optional<int64_t> optional_int64() const {
    return args_.optional_int64(index<N>(Kind::OptionalInt64));
  }
  template <ParamName N>
  const std::vector<std::vector<double>>& real_lists() const {
    return args_.real_lists(index<N>(Kind::RealSequenceSequence));
  }
  // Owned copies of every array of a sequence of float64 arrays, in order;
  // nullopt with a Python error set (the contiguity TypeError).
  template <ParamName N>
  std::optional<std::vector<std::vector<double>>> copy_all() const {
    return copy_arrays(args_.items(index<N>(Kind::RealArraySequence)));
  }
  template <ParamName N>
  std::optional<uint64_t> optional_seed() const {
    return args_.optional_seed(index<N>(Kind::OptionalSeed));
  }
  template <ParamName N>
  const std::vector<uint64_t>& seeds() const {
    return args_.seeds(index<N>(Kind::SeedSequence));
  }
  template <ParamName N>
  const std::vector<std::vector<uint64_t>>& seed_lists() const {
    return args_.seed_lists(index<N>(Kind::SeedSequenceSequence));
  }
  template <ParamName N>
  const std::vector<std::vector<std::vector<double>>>& real_list_lists() const {
    return args_.real_list_lists(index<N>(Kind::RealSequenceSequenceSequence));
  }
  // Arrays, lists and dicts, borrowed from the caller.
  template <ParamName N>
  PyObject* object() const { return args_.object(object_index<N>()); }
  // An owned copy of an array argument, its element type taken from the
  // declared kind; nullopt with a Python error set.
  template <ParamName N>
  auto copy() const {
    constexpr Kind kind = S.params[find<N>()].kind;
    static_assert(kind == Kind::RealArray || kind == Kind::Int32Array ||
                  kind == Kind::UInt64Array || kind == Kind::Int64Array,
                  "only array parameters can be copied");
    if constexpr (kind == Kind::RealArray) {
      return copy_array<double>(object<N>());
    } else if constexpr (kind == Kind::Int32Array) {
      return copy_array<int32_t>(object<N>());
    } else if constexpr (kind == Kind::Int64Array) {
      return copy_array<int64_t>(object<N>());
    } else {
      return copy_array<uint64_t>(object<N>());
    }
  }

 private:
  template <ParamName N>
  static consteval std::size_t find() {
    for (std::size_t i = 0; i < S.params.size(); ++i) {
      if (same_name(S.params[i].name, N.chars)) return i;
    }
    throw "no parameter of this name in the declaration";
  }
  template <ParamName N>
  static consteval std::size_t index(Kind want) {
    if (S.params[find<N>()].kind != want) throw "the parameter is declared with another kind";
    return find<N>();
  }
  template <ParamName N>
  static consteval std::size_t object_index() {
    switch (S.params[find<N>()].kind) {
      case Kind::RealArray: case Kind::Int32Array: case Kind::UInt64Array:
      case Kind::RealArrayList: case Kind::Dict: case Kind::List:
      case Kind::Int64Array:
        return find<N>();
      default:
        throw "the parameter is not an object kind";
    }
  }

  const Args& args_;
};

template <const Signature& S>
using Handler = PyObject* (*)(const Bound<S>&);

template <const Signature& S, Handler<S> H>
PyObject* entry_point(PyObject* /*module*/, PyObject* const* args, Py_ssize_t nargs,
                      PyObject* kwnames) {
  // No C++ exception may unwind into the interpreter: the strings and
  // vectors built while converting and copying can run out of memory.
  try {
    Args a;
    if (!bind_arguments(S, args, nargs, kwnames, a)) return nullptr;
    return H(Bound<S>(a));
  } catch (const std::bad_alloc&) {
    return PyErr_NoMemory();
  }
}

struct FunctionEntry {
  const Signature* signature;
  PyObject* (*entry)(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);
};

template <const Signature& S, Handler<S> H>
constexpr FunctionEntry function() {
  return {&S, &entry_point<S, H>};
}

// "name(a, b=0)\n--\n\n" followed by the doc, as CPython's inspect expects.
std::string doc_with_text_signature(const Signature& sig);

}  // namespace tidemark::py
