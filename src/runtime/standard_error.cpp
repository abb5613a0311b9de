// Standard error: every byte handed to the system until it has taken them all or refused.
#include "runtime/standard_error.hpp"

#include "runtime/platform.hpp"
#include "runtime/write_loop.hpp"

namespace vantril {

void standard_error_write(std::string_view bytes) {
  // Nobody is left to tell about a failure, so any error or refusal just ends the attempt.
  (void)write_until_done(bytes, "failed to write whole buffer", [](std::string_view rest) {
    return os::write_standard_stream(os::StandardStream::Error, rest.data(), rest.size());
  });
}

}  // namespace vantril
