// RunLengthDecode: a length byte, then that many bytes as they are (0 to 127: length + 1 bytes)
// or one byte repeated (129 to 255: 257 - length times); 128 ends the data.
#include <cstring>

#include "reader/decode_filters.hpp"

namespace vantril {

Result<Bytes> decode_run_length(std::string_view data, std::uint64_t limit) {
  LimitedOutput out(limit, data.size() * 2);
  std::size_t at = 0;
  char run[128];
  while (at < data.size()) {
    const auto length = static_cast<unsigned char>(data[at++]);
    if (length == 128) break;
    if (length < 128) {
      // The next length + 1 bytes as they are.
      const std::size_t count = std::size_t{length} + 1;
      if (count > data.size() - at) {
        return IoError::with_message(IoErrorKind::InvalidData,
                                     "RunLengthDecode data ends inside a run");
      }
      if (!out.put(data.substr(at, count))) return decoded_over_limit();
      at += count;
    } else {
      // The next byte, 257 - length times.
      if (at == data.size()) {
        return IoError::with_message(IoErrorKind::InvalidData,
                                     "RunLengthDecode data ends inside a run");
      }
      const std::size_t count = 257 - std::size_t{length};
      std::memset(run, data[at++], count);
      if (!out.put(std::string_view(run, count))) return decoded_over_limit();
    }
  }
  return out.finish();
}

}  // namespace vantril
