// The build without a Flate library: Flate data cannot be decoded, and says so.
#include "reader/inflate.hpp"

namespace vantril {

bool inflate_available() { return false; }

Result<Bytes> inflate_zlib(std::string_view, std::uint64_t, bool* truncated) {
  if (truncated != nullptr) *truncated = false;
  return IoError::with_message(IoErrorKind::Unsupported,
                               "this build of vantril has no Flate library to decode the data");
}

}  // namespace vantril
