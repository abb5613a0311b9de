// Flate decompression through zlib's streaming inflate(), for the Windows build (Debian ships
// zlib for mingw, not libdeflate). The output grows geometrically up to the limit and one byte
// past it, so a bomb costs at most the limit in memory; a stream cut short ends with what it
// decoded so far, which zlib gives naturally.
#include <zlib.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>

#include "reader/inflate.hpp"
#include "runtime/fatal.hpp"

namespace vantril {

namespace {

struct InflateEnd {
  void operator()(z_stream* stream) const { inflateEnd(stream); }
};

}  // namespace

bool inflate_available() { return true; }

Result<InflatedData> inflate_zlib_data(std::string_view data, std::uint64_t max_size,
                                       bool* truncated) {
  if (truncated != nullptr) *truncated = false;
  z_stream stream{};
  if (inflateInit(&stream) != Z_OK) fatal_error("zlib could not make a decompressor");
  const std::unique_ptr<z_stream, InflateEnd> end(&stream);

  // Deflate turns at most two bits into 258 bytes: the first buffer of a small stream stays small.
  const std::uint64_t most = std::uint64_t{data.size()} * 1032 + 1024;
  const std::uint64_t ceiling = std::min(max_size, most) + 1;
  std::size_t room = static_cast<std::size_t>(
      std::min<std::uint64_t>(ceiling, std::max<std::uint64_t>(data.size() * 4, 64 * 1024)));
  std::unique_ptr<char[]> out(new char[room]);
  std::size_t made = 0;

  const char* next_in = data.data();
  std::size_t left_in = data.size();
  for (;;) {
    if (made == room) {
      if (room == ceiling) return made > max_size ? decoded_over_limit() : corrupt_flate_data();
      const std::size_t larger =
          static_cast<std::size_t>(std::min<std::uint64_t>(ceiling, room * 2));
      std::unique_ptr<char[]> grown(new char[larger]);
      std::memcpy(grown.get(), out.get(), made);
      out = std::move(grown);
      room = larger;
    }
    // zlib counts in 32-bit units: large buffers go through in pieces.
    const auto in_piece = static_cast<uInt>(std::min<std::size_t>(left_in, UINT_MAX));
    const auto out_piece = static_cast<uInt>(std::min<std::size_t>(room - made, UINT_MAX));
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(next_in));
    stream.avail_in = in_piece;
    stream.next_out = reinterpret_cast<Bytef*>(out.get() + made);
    stream.avail_out = out_piece;
    const int status = inflate(&stream, Z_NO_FLUSH);
    next_in += in_piece - stream.avail_in;
    left_in -= in_piece - stream.avail_in;
    made += out_piece - stream.avail_out;
    if (made > max_size) return decoded_over_limit();
    if (status == Z_STREAM_END) break;
    if (status == Z_OK) continue;
    if (status == Z_BUF_ERROR && made == room) continue;
    if (status == Z_BUF_ERROR && left_in == 0) {
      // Every byte was read and the stream has not ended: it was cut short.
      if (truncated != nullptr) *truncated = true;
      break;
    }
    return corrupt_flate_data();
  }
  return InflatedData{std::move(out), made};
}

}  // namespace vantril
