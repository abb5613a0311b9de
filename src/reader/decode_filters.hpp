// The filters behind decode_stream, one function each, and the bounded output they write into.
// Every filter stops with "the decoded data would exceed the limit" before its output passes
// the limit, so that no stage of a chain makes more than the limit allows. The filters are
// defined in decode_ascii.cpp (ASCIIHex, ASCII85), decode_run_length.cpp, decode_lzw.cpp and
// decode_predictor.cpp.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "reader/inflate.hpp"
#include "vantril/error.hpp"
#include "vantril/model/bytes.hpp"

namespace vantril {

// An error whose message is made at run time, under the given kind.
inline IoError decode_error(IoErrorKind kind, std::string message) {
  std::string debug = "\"" + message + "\"";
  return IoError{IoError::Custom{
      kind, std::make_shared<const InnerError>(InnerError{std::move(debug), std::move(message)})}};
}

// Output that refuses to grow past a limit. Bytes are staged in a small buffer so that filters
// which make one byte at a time pay for a store, not for a call.
class LimitedOutput {
 public:
  LimitedOutput(std::uint64_t limit, std::size_t expected) : limit_(limit) {
    bytes_.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(expected, limit)));
  }

  // False when the byte would pass the limit.
  bool put(char byte) {
    if (staged_ == sizeof stage_ && !flush()) return false;
    stage_[staged_++] = byte;
    return true;
  }
  bool put(std::string_view piece) {
    if (piece.size() <= sizeof stage_ - staged_) {
      std::memcpy(stage_ + staged_, piece.data(), piece.size());
      staged_ += piece.size();
      return true;
    }
    if (!flush()) return false;
    if (piece.size() > limit_ - bytes_.size()) return false;
    bytes_.append(piece);
    return true;
  }
  // The output so far; false when it passes the limit.
  bool flush() {
    if (staged_ > limit_ - bytes_.size()) return false;
    bytes_.append(std::string_view(stage_, staged_));
    staged_ = 0;
    return true;
  }
  Result<Bytes> finish() {
    if (!flush()) return decoded_over_limit();
    return std::move(bytes_);
  }

 private:
  Bytes bytes_;
  std::uint64_t limit_;
  std::size_t staged_ = 0;
  char stage_[4096];
};

Result<Bytes> decode_ascii_hex(std::string_view data, std::uint64_t limit);
Result<Bytes> decode_ascii85(std::string_view data, std::uint64_t limit);
Result<Bytes> decode_run_length(std::string_view data, std::uint64_t limit);
// LZW with codes of 9 to 12 bits; `early_change` is 1 when the code width grows one code early.
Result<Bytes> decode_lzw(std::string_view data, bool early_change, std::uint64_t limit);

// The predictor of a FlateDecode or LZWDecode "/DecodeParms". `predictor` is 1 (none), 2 (TIFF)
// or 10 to 15 (PNG, with a filter-type byte before each row).
struct PredictorParameters {
  int predictor = 1;
  int colors = 1;
  int bits_per_component = 8;
  std::int64_t columns = 1;
};

// InvalidData naming the parameter when the values are out of range.
Status check_predictor(const PredictorParameters& parameters);
// The filter's output with the prediction undone (`parameters.predictor` is 2 or 10 to 15).
Result<Bytes> undo_predictor(std::string_view data, const PredictorParameters& parameters,
                             std::uint64_t limit);

}  // namespace vantril
