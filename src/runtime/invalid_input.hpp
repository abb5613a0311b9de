// The one way the library makes an InvalidInput error. A string literal becomes a fixed message
// (IoError::KindWithMessage), a message made at run time one that owns its text
// (IoError::Custom), and StaticText marks a view of static lifetime that is not a literal where
// the error is made, such as one chosen between literals at run time. Defined here, inline.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "vantril/error.hpp"

namespace vantril {

// A view that lives as long as the program: the caller vouches for it.
struct StaticText {
  std::string_view text;
};

// Fixed text of static lifetime (a string literal): the error keeps only the view. The array
// form takes literals alone, before any conversion to std::string, so a literal never becomes
// an owned copy; the terminating NUL is not part of the message.
template <std::size_t N>
IoError invalid_input(const char (&fixed_message)[N]) {
  static_assert(N > 0);
  return IoError{
      IoError::KindWithMessage{IoErrorKind::InvalidInput, std::string_view(fixed_message, N - 1)}};
}

// A message made at run time (it names the offending value): the error owns its text, and its
// debug form quotes it. A fixed text wrapped in std::string gets this form too, where callers are
// told the error is Custom.
inline IoError invalid_input(std::string message) {
  std::string debug = "\"" + message + "\"";
  return IoError{IoError::Custom{
      IoErrorKind::InvalidInput,
      std::make_shared<const InnerError>(InnerError{std::move(debug), std::move(message)})}};
}

inline IoError invalid_input(StaticText fixed_message) {
  return IoError{IoError::KindWithMessage{IoErrorKind::InvalidInput, fixed_message.text}};
}

}  // namespace vantril
