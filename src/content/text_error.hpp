// Errors of the text and content layer: a Custom IoError of kind InvalidInput with a message.
#pragma once

#include <memory>
#include <string>

#include "vantril/error.hpp"

namespace vantril {

inline IoError invalid_input(std::string message) {
  std::string debug = "\"" + message + "\"";
  return IoError{IoError::Custom{
      IoErrorKind::InvalidInput,
      std::make_shared<const InnerError>(InnerError{std::move(debug), std::move(message)})}};
}

}  // namespace vantril
