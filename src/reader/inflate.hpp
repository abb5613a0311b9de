// Flate (zlib-format) decompression for the reader and decode_stream: libdeflate on Linux, zlib
// on Windows, or a stand-in that reports Unsupported where the build has neither.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "vantril/error.hpp"
#include "vantril/model/bytes.hpp"

namespace vantril {

inline constexpr std::string_view decoded_over_limit_message =
    "the decoded data would exceed the limit";

// The error of every decoder whose output would pass its limit, and the test for it: a reader
// refuses input beyond a limit instead of mending it.
inline IoError decoded_over_limit() {
  return IoError::with_message(IoErrorKind::InvalidData, decoded_over_limit_message);
}
inline bool is_decoded_over_limit(const IoError& error) {
  const auto* fixed = std::get_if<IoError::KindWithMessage>(&error.repr);
  return fixed != nullptr && fixed->message == decoded_over_limit_message;
}

// The error of Flate data that does not decode, from every backend.
inline IoError corrupt_flate_data() {
  return IoError::with_message(IoErrorKind::InvalidData, "corrupt Flate data");
}

// Whether this build can decompress Flate data.
bool inflate_available();

// The zlib-format `data` decompressed. InvalidData for corrupt data, and "the decoded data would
// exceed the limit" as soon as the output would pass `max_size`: nothing beyond it is made, and
// memory stays in proportion to max_size, never to what the data claims. Data after the end of
// the zlib stream is ignored; a stream cut short gives what it decodes to plus a repair note in
// `truncated` (when not null), as readers accept such data.
Result<Bytes> inflate_zlib(std::string_view data, std::uint64_t max_size,
                           bool* truncated = nullptr);

// Decompressed bytes in a plain buffer, which may be larger than `size`.
struct InflatedData {
  std::unique_ptr<char[]> bytes;
  std::size_t size = 0;
  std::string_view view() const { return {bytes.get(), size}; }
};

// inflate_zlib without the copy into Bytes, for a caller that goes on to transform the data
// (the predictors write their output straight into the final Bytes).
Result<InflatedData> inflate_zlib_data(std::string_view data, std::uint64_t max_size,
                                       bool* truncated = nullptr);

}  // namespace vantril
