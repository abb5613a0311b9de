// An InvalidInput error whose message is made at run time (it names the offending value), for
// the writer, the text layer and the content layer alike.
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
