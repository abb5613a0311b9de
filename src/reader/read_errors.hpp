// The reader's errors whose messages are made at run time: InvalidData for a malformed file or
// one beyond a limit, and Unsupported for what the reader recognises but does not do. Defined
// here, inline.
#pragma once

#include <memory>
#include <string>

#include "vantril/error.hpp"

namespace vantril::reader {

inline IoError error_with_text(IoErrorKind kind, std::string message) {
  std::string debug = "\"" + message + "\"";
  return IoError{IoError::Custom{
      kind, std::make_shared<const InnerError>(InnerError{std::move(debug), std::move(message)})}};
}

inline IoError invalid_data(std::string message) {
  return error_with_text(IoErrorKind::InvalidData, std::move(message));
}

inline IoError unsupported(std::string message) {
  return error_with_text(IoErrorKind::Unsupported, std::move(message));
}

}  // namespace vantril::reader
