// The project's one result type: an operation that can fail returns its value or an IoError.
#pragma once

#include <optional>
#include <utility>
#include <variant>

#include "runtime/io_error.hpp"

namespace vantril {

// Holds exactly one of a value and an IoError. value() and error() may be called only on the side
// that ok() reports; the rvalue forms move it out.
template <class T>
class [[nodiscard]] Result {
 public:
  Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
  Result(IoError error) : state_(std::in_place_index<1>, std::move(error)) {}

  bool ok() const { return state_.index() == 0; }
  T& value() & { return *std::get_if<0>(&state_); }
  const T& value() const& { return *std::get_if<0>(&state_); }
  T&& value() && { return std::move(*std::get_if<0>(&state_)); }
  const IoError& error() const& { return *std::get_if<1>(&state_); }
  IoError&& error() && { return std::move(*std::get_if<1>(&state_)); }

 private:
  std::variant<T, IoError> state_;
};

// The result of an operation that produces nothing: success or an IoError.
template <>
class [[nodiscard]] Result<void> {
 public:
  Result() = default;
  Result(IoError error) : error_(std::move(error)) {}

  bool ok() const { return !error_.has_value(); }
  const IoError& error() const& { return *error_; }
  IoError&& error() && { return std::move(*error_); }

 private:
  std::optional<IoError> error_;
};

// Success or an IoError, for operations that produce nothing.
using Status = Result<void>;

}  // namespace vantril

// Passes the error of a failed Status or Result up unchanged; on success evaluates to nothing.
#define VANTRIL_TRY(expression)                      \
  do {                                               \
    auto vantril_try_result_ = (expression);         \
    if (!vantril_try_result_.ok()) {                 \
      return std::move(vantril_try_result_).error(); \
    }                                                \
  } while (false)
