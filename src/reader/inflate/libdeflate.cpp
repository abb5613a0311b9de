// Flate decompression through libdeflate's whole-buffer interface. libdeflate decodes into a
// buffer of a size given beforehand, so the output buffer grows geometrically (starting from a
// guess made from the input's size) and the data is decoded again into the larger one, up to
// the limit and never past it: a bomb costs at most the limit in memory and about twice the
// limit in decoding work.
//
// libdeflate cannot resume or report a partial result. A stream whose Adler-32 checksum is
// missing (cut short right after its last block) is still decoded, as raw Deflate, and marked
// truncated; a stream cut inside its blocks goes to a small decoder of our own
// (inflate_partial.hpp), which keeps what it holds, as zlib does in the Windows build.
#include <libdeflate.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "reader/inflate.hpp"
#include "reader/inflate_partial.hpp"
#include "runtime/fatal.hpp"

namespace vantril {

namespace {

struct DecompressorDeleter {
  void operator()(libdeflate_decompressor* decompressor) const {
    libdeflate_free_decompressor(decompressor);
  }
};

std::uint32_t adler32_of(const char* data, std::size_t size) {
  return libdeflate_adler32(1, data, size);
}

// Deflate turns at most two bits into 258 bytes, so no stream decodes to more than this; the
// bound keeps the first buffer of a small stream small however high the limit is.
std::uint64_t most_output_of(std::size_t input_size) {
  return std::uint64_t{input_size} * 1032 + 1024;
}

}  // namespace

bool inflate_available() { return true; }

// NOLINTNEXTLINE(readability-function-cognitive-complexity): one pass, cases side by side
Result<InflatedData> inflate_zlib_data(std::string_view data, std::uint64_t max_size,
                                       bool* truncated) {
  if (truncated != nullptr) *truncated = false;
  // The zlib header: compression method 8, a window of at most 32 KiB, no preset dictionary,
  // and the check bits.
  if (data.size() < 2) return corrupt_flate_data();
  const auto cmf = static_cast<unsigned char>(data[0]);
  const auto flg = static_cast<unsigned char>(data[1]);
  if ((cmf & 0x0F) != 8 || (cmf >> 4) > 7 || (flg & 0x20) != 0 || ((cmf << 8) | flg) % 31 != 0) {
    return corrupt_flate_data();
  }
  const std::string_view deflate = data.substr(2);

  // One decompressor for each thread, made on its first stream: making one costs an allocation
  // and clearing some 10 KB, more than decoding a small object stream takes.
  thread_local const std::unique_ptr<libdeflate_decompressor, DecompressorDeleter> decompressor(
      libdeflate_alloc_decompressor());
  if (!decompressor) fatal_error("libdeflate could not make a decompressor");

  // One byte past the limit tells "exactly the limit" from "more than the limit".
  const std::uint64_t ceiling = std::min(max_size, most_output_of(deflate.size()));
  std::uint64_t room = std::min<std::uint64_t>(
      ceiling,
      std::max<std::uint64_t>(std::uint64_t{deflate.size()} * 4, std::uint64_t{64} * 1024));
  for (;;) {
    const std::uint64_t attempt = room == ceiling ? room + 1 : room;
    const auto size = static_cast<std::size_t>(attempt);
    std::unique_ptr<char[]> out(new char[size]);
    std::size_t used_in = 0;
    std::size_t made = 0;
    const libdeflate_result result = libdeflate_deflate_decompress_ex(
        decompressor.get(), deflate.data(), deflate.size(), out.get(), size, &used_in, &made);
    if (result == LIBDEFLATE_INSUFFICIENT_SPACE) {
      if (room == ceiling) {
        // Past the limit, or past what Deflate can make from this input (then it is corrupt).
        return ceiling == max_size ? decoded_over_limit() : corrupt_flate_data();
      }
      room = std::min(ceiling, room * 2);
      continue;
    }
    if (result != LIBDEFLATE_SUCCESS) {
      // libdeflate refuses a stream cut short as it refuses a corrupt one; the small decoder
      // tells them apart and keeps what a cut stream holds. A stream it decodes whole is
      // corrupt all the same, as libdeflate found.
      bool cut_short = false;
      Result<InflatedData> partial = inflate_partial(deflate, max_size, &cut_short);
      if (!partial.ok()) return std::move(partial).error();
      if (!cut_short) return corrupt_flate_data();
      if (truncated != nullptr) *truncated = true;
      return partial;
    }
    if (made > max_size) return decoded_over_limit();
    // The Adler-32 checksum of the decoded data follows, big-endian; data after it is ignored.
    const std::string_view trailer = deflate.substr(used_in);
    if (trailer.size() < 4) {
      if (truncated != nullptr) *truncated = true;
    } else {
      std::uint32_t stored = 0;
      for (int i = 0; i < 4; ++i) {
        stored = (stored << 8) | static_cast<unsigned char>(trailer[static_cast<std::size_t>(i)]);
      }
      if (stored != adler32_of(out.get(), made)) {
        return IoError::with_message(IoErrorKind::InvalidData,
                                     "the Flate data does not match its checksum");
      }
    }
    return InflatedData{std::move(out), made};
  }
}

}  // namespace vantril
