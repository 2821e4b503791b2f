// Validation failures travel as values through the computational core and
// become Python ValueErrors only at the binding boundary.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <variant>

namespace tidemark {

struct ParamError {
  std::string message;
};

// Success, or the ParamError that explains why the computation refused.
using Status = std::optional<ParamError>;

inline Status param_error(std::string message) { return ParamError{std::move(message)}; }

// A computed value, or the ParamError that prevented it.
template <class T>
class [[nodiscard]] Result {
 public:
  Result(T value) : state_(std::move(value)) {}          // NOLINT: implicit by design
  Result(ParamError error) : state_(std::move(error)) {}  // NOLINT: implicit by design

  bool ok() const { return state_.index() == 0; }
  T& value() { return std::get<0>(state_); }
  const ParamError& error() const { return std::get<1>(state_); }

 private:
  std::variant<T, ParamError> state_;
};

}  // namespace tidemark
