// The text filters: ASCIIHexDecode (two hexadecimal digits a byte) and ASCII85Decode (five
// base-85 digits for four bytes). Both skip white space anywhere and stop at their end marker;
// data that ends without the marker is taken as it is, since the marker adds nothing.
#include <cstdint>

#include "reader/decode_filters.hpp"

namespace vantril {

namespace {

bool is_white_space(unsigned char byte) {
  return byte == ' ' || byte == '\n' || byte == '\r' || byte == '\t' || byte == '\f' ||
         byte == '\0';
}

// The digit's value, or -1.
int hex_value(unsigned char byte) {
  if (byte >= '0' && byte <= '9') return byte - '0';
  if (byte >= 'a' && byte <= 'f') return byte - 'a' + 10;
  if (byte >= 'A' && byte <= 'F') return byte - 'A' + 10;
  return -1;
}

}  // namespace

Result<Bytes> decode_ascii_hex(std::string_view data, std::uint64_t limit) {
  LimitedOutput out(limit, data.size() / 2 + 1);
  int high = -1;
  for (const char c : data) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte == '>') break;
    if (is_white_space(byte)) continue;
    const int value = hex_value(byte);
    if (value < 0) {
      return IoError::with_message(
          IoErrorKind::InvalidData,
          "ASCIIHexDecode data holds a byte that is not a hexadecimal digit");
    }
    if (high < 0) {
      high = value;
    } else {
      if (!out.put(static_cast<char>(high * 16 + value))) return decoded_over_limit();
      high = -1;
    }
  }
  // An odd last digit stands for its byte's high half.
  if (high >= 0 && !out.put(static_cast<char>(high * 16))) return decoded_over_limit();
  return out.finish();
}

// NOLINTNEXTLINE(readability-function-cognitive-complexity): one pass, cases side by side
Result<Bytes> decode_ascii85(std::string_view data, std::uint64_t limit) {
  LimitedOutput out(limit, data.size() / 5 * 4 + 4);
  std::uint64_t group = 0;
  int digits = 0;
  const auto bad = [] {
    return IoError::with_message(IoErrorKind::InvalidData, "ASCII85Decode data is not valid");
  };
  // Some writers open the data with "<~", as the encoding's text form does; it is skipped.
  std::size_t start = 0;
  while (start < data.size() && is_white_space(static_cast<unsigned char>(data[start]))) ++start;
  if (data.substr(start, 2) == "<~") data.remove_prefix(start + 2);
  for (std::size_t at = 0; at < data.size(); ++at) {
    const auto byte = static_cast<unsigned char>(data[at]);
    if (is_white_space(byte)) continue;
    if (byte == '~') {
      // "~>" ends the data; a "~" anywhere else is an error, except as the data's last byte.
      std::size_t next = at + 1;
      while (next < data.size() && is_white_space(static_cast<unsigned char>(data[next]))) ++next;
      if (next < data.size() && data[next] != '>') return bad();
      break;
    }
    if (byte == 'z') {
      if (digits != 0) return bad();
      if (!out.put(std::string_view("\0\0\0\0", 4))) return decoded_over_limit();
      continue;
    }
    if (byte < '!' || byte > 'u') return bad();
    group = group * 85 + (byte - '!');
    if (++digits == 5) {
      if (group > 0xFFFFFFFFu) return bad();
      const char four[4] = {static_cast<char>(group >> 24), static_cast<char>(group >> 16),
                            static_cast<char>(group >> 8), static_cast<char>(group)};
      if (!out.put(std::string_view(four, 4))) return decoded_over_limit();
      group = 0;
      digits = 0;
    }
  }
  // A final group of n digits stands for n - 1 bytes: it is padded with the highest digit, and
  // the padding's bytes are dropped. One digit alone stands for nothing and is an error.
  if (digits == 1) return bad();
  if (digits > 1) {
    for (int i = digits; i < 5; ++i) group = group * 85 + 84;
    if (group > 0xFFFFFFFFu) return bad();
    for (int i = 0; i < digits - 1; ++i) {
      if (!out.put(static_cast<char>(group >> (24 - 8 * i)))) return decoded_over_limit();
    }
  }
  return out.finish();
}

}  // namespace vantril
