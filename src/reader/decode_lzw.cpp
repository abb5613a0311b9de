// LZWDecode: codes of 9 to 12 bits, most significant bit first; 256 clears the table, 257 ends
// the data. Each table entry is a shorter entry plus one byte, so an entry's bytes are written
// backwards from its last byte. A table that fills up stays as it is, at 12 bits, until the next
// clear. Data that ends without the end code is taken as it is.
#include <array>
#include <cstdint>

#include "reader/decode_filters.hpp"

namespace vantril {

namespace {

constexpr int clear_code = 256;
constexpr int end_code = 257;
constexpr int first_free = 258;
constexpr int table_size = 4096;

struct Table {
  std::array<std::uint16_t, table_size> prefix{};
  std::array<std::uint16_t, table_size> length{};
  std::array<unsigned char, table_size> last{};
  std::array<unsigned char, table_size> first{};
};

IoError bad_code() {
  return IoError::with_message(IoErrorKind::InvalidData,
                               "LZWDecode data holds a code not yet defined");
}

}  // namespace

Result<Bytes> decode_lzw(std::string_view data, bool early_change, std::uint64_t limit) {
  auto table = std::make_unique<Table>();
  for (int code = 0; code < 256; ++code) {
    const auto index = static_cast<std::size_t>(code);
    table->length[index] = 1;
    table->last[index] = static_cast<unsigned char>(code);
    table->first[index] = static_cast<unsigned char>(code);
  }
  LimitedOutput out(limit, data.size() * 2);
  const int early = early_change ? 1 : 0;
  int next = first_free;
  int width = 9;
  int previous = -1;
  std::uint32_t bits = 0;
  int held = 0;
  std::size_t at = 0;
  char entry[table_size];
  for (;;) {
    while (held < width && at < data.size()) {
      bits = (bits << 8) | static_cast<unsigned char>(data[at++]);
      held += 8;
    }
    if (held < width) break;
    const int code = static_cast<int>((bits >> (held - width)) & ((1u << width) - 1));
    held -= width;
    if (code == clear_code) {
      next = first_free;
      width = 9;
      previous = -1;
      continue;
    }
    if (code == end_code) break;
    // Only the code about to be defined may be used before it is: it is the previous code's
    // bytes followed by their own first byte.
    if (code > next || (code == next && previous < 0)) return bad_code();
    // The new entry is the previous code's bytes and the first byte of this code's.
    if (previous >= 0 && next < table_size) {
      const auto p = static_cast<std::size_t>(previous);
      const auto n = static_cast<std::size_t>(next);
      table->prefix[n] = static_cast<std::uint16_t>(previous);
      table->length[n] = static_cast<std::uint16_t>(table->length[p] + 1);
      table->first[n] = table->first[p];
      table->last[n] =
          code == next ? table->first[p] : table->first[static_cast<std::size_t>(code)];
      ++next;
    }
    auto c = static_cast<std::size_t>(code);
    const std::size_t length = table->length[c];
    for (std::size_t i = length; i-- > 0;) {
      entry[i] = static_cast<char>(table->last[c]);
      c = table->prefix[c];
    }
    if (!out.put(std::string_view(entry, length))) return decoded_over_limit();
    previous = code;
    if (next + early >= (1 << width) && width < 12) ++width;
  }
  return out.finish();
}

}  // namespace vantril
