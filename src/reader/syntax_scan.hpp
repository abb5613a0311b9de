// The token scanners under the value parser: byte classes, white space and comments, numbers,
// names and strings. Each reads from a pointer range and never past its end; none allocates
// except into the buffer it is given.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vantril::reader::scan {

// Bits of a byte's class; a byte that is neither white space nor a delimiter is regular.
enum : std::uint8_t {
  white_bit = 1,
  delimiter_bit = 2,
  digit_bit = 4,
  // '#': a name holding one needs decoding.
  hash_bit = 8,
  // The bytes a literal string's scan stops at: ( ) \ and CR.
  literal_stop_bit = 16,
  // Digits, '+', '-' and '.': the bytes a number may start with.
  number_start_bit = 32,
  // White space and '%': the bytes skip_white goes past (a comment starts with '%').
  skip_bit = 64,
};

constexpr void mark(std::array<std::uint8_t, 256>& classes, std::string_view bytes,
                    std::uint8_t bit) {
  for (const char c : bytes) classes[static_cast<unsigned char>(c)] |= bit;
}

constexpr std::array<std::uint8_t, 256> make_byte_classes() {
  std::array<std::uint8_t, 256> classes{};
  mark(classes, std::string_view("\0\t\n\f\r ", 6), white_bit);
  mark(classes, "()<>[]{}/%", delimiter_bit);
  mark(classes, "0123456789", digit_bit | number_start_bit);
  mark(classes, "+-.", number_start_bit);
  mark(classes, "#", hash_bit);
  mark(classes, "()\\\r", literal_stop_bit);
  mark(classes, std::string_view("\0\t\n\f\r %", 7), skip_bit);
  return classes;
}
inline constexpr std::array<std::uint8_t, 256> byte_classes = make_byte_classes();

// 0 to 15 for a hexadecimal digit of either case, 0xFF for any other byte.
constexpr std::array<std::uint8_t, 256> make_hex_values() {
  std::array<std::uint8_t, 256> values{};
  for (auto& value : values) value = 0xFF;
  for (int c = 0; c < 10; ++c)
    values[static_cast<std::size_t>('0') + static_cast<std::size_t>(c)] =
        static_cast<std::uint8_t>(c);
  for (int c = 0; c < 6; ++c) {
    values[static_cast<std::size_t>('a') + static_cast<std::size_t>(c)] =
        static_cast<std::uint8_t>(10 + c);
    values[static_cast<std::size_t>('A') + static_cast<std::size_t>(c)] =
        static_cast<std::uint8_t>(10 + c);
  }
  return values;
}
inline constexpr std::array<std::uint8_t, 256> hex_values = make_hex_values();

inline std::uint8_t class_of(char byte) { return byte_classes[static_cast<unsigned char>(byte)]; }
inline bool is_white(char byte) { return (class_of(byte) & white_bit) != 0; }
inline bool is_digit(char byte) { return (class_of(byte) & digit_bit) != 0; }
// White space and delimiters end a regular token (a number, keyword or name).
inline bool ends_token(char byte) { return (class_of(byte) & (white_bit | delimiter_bit)) != 0; }
inline bool token_ends_at(const char* p, const char* end) { return p == end || ends_token(*p); }

// Past white space and comments; a comment runs to the next CR or LF.
inline const char* skip_white(const char* p, const char* end) {
  // One class test ends the loop at the next token, the commonest case by far.
  while (p != end && (class_of(*p) & skip_bit) != 0) {
    if (*p == '%') {
      while (p != end && *p != '\n' && *p != '\r') ++p;
    } else {
      ++p;
    }
  }
  return p;
}

// Past the regular bytes from `p` (a keyword's or a name's); `classes` collects their class bits.
inline const char* scan_regular(const char* p, const char* end, std::uint8_t& classes) {
  std::uint8_t seen = 0;
  while (p != end) {
    const std::uint8_t c = class_of(*p);
    if ((c & (white_bit | delimiter_bit)) != 0) break;
    seen |= c;
    ++p;
  }
  classes = seen;
  return p;
}

// A number token as read: an integer, or a real (also for an integer too large for 64 bits).
struct NumberToken {
  // Past the token; null when the bytes are not a number.
  const char* end = nullptr;
  std::int64_t integer = 0;
  float real = 0;
  bool is_real = false;
  // Digits only, no sign or point: such an integer may begin a reference "N G R".
  bool plain = false;
  // An integer of more than 64 bits, read as a real.
  bool beyond_64_bits = false;
  // A value beyond the range of a float, read as the largest float of its sign.
  bool clamped = false;
};

// The real of the digits [digits, end) (a point among them), negated when `negative`.
NumberToken read_real(const char* digits, const char* end, bool negative);
// The same for an integer of more than 64 bits (digits only), marked beyond_64_bits.
NumberToken read_big_integer(const char* digits, const char* end, bool negative);

// A number at `p` into `token`: [+-] digits [. digits] or [+-] . digits, ending at white space, a
// delimiter or the end. Integers of up to 19 digits are read here; longer ones and reals out of
// line. The token is filled in place, so that the caller's copy is the only one.
[[gnu::always_inline]] inline void scan_number(const char* p, const char* end, NumberToken& token) {
  token.end = nullptr;
  token.is_real = false;
  bool negative = false;
  const char* start = p;
  if (*p == '+' || *p == '-') {
    negative = *p == '-';
    ++p;
  }
  const char* digits = p;
  std::uint64_t magnitude = 0;
  while (p != end && is_digit(*p)) {
    magnitude = magnitude * 10 + static_cast<unsigned char>(*p - '0');
    ++p;
  }
  if (p != end && *p == '.') {
    ++p;
    while (p != end && is_digit(*p)) ++p;
    if (p - digits < 2 || !token_ends_at(p, end)) return;
    token = read_real(digits, p, negative);
    return;
  }
  if (p == digits || !token_ends_at(p, end)) return;
  if (p - digits > 19) {
    // Leading zeros do not make an integer long.
    const char* first = digits;
    while (p - first > 1 && *first == '0') ++first;
    if (p - first > 19) {
      token = read_big_integer(digits, p, negative);
      return;
    }
    magnitude = 0;
    for (const char* d = first; d != p; ++d) {
      magnitude = magnitude * 10 + static_cast<unsigned char>(*d - '0');
    }
  }
  const std::uint64_t limit = negative ? std::uint64_t{1} << 63 : (std::uint64_t{1} << 63) - 1;
  if (magnitude > limit) {
    token = read_big_integer(digits, p, negative);
    return;
  }
  token.end = p;
  token.plain = digits == start;
  token.integer =
      negative ? static_cast<std::int64_t>(0u - magnitude) : static_cast<std::int64_t>(magnitude);
}

// An integer of digits alone at `p` (no sign, no point), ending at white space, a delimiter or
// the end, that fits 64 bits signed: its value and end, as scan_number would read them. False
// for any other token. The reference lookahead reads what may be a generation through this.
[[gnu::always_inline]] inline bool scan_plain_integer(const char* p, const char* end,
                                                      std::int64_t& value, const char*& stop) {
  const char* q = p;
  std::uint64_t magnitude = 0;
  // Past 19 digits the sum wraps, and is not used.
  while (q != end && is_digit(*q)) {
    magnitude = magnitude * 10 + static_cast<unsigned char>(*q - '0');
    ++q;
  }
  if (q - p > 19) {
    // More than 19 digits: leading zeros may still make it small, which the general scan tells.
    NumberToken token;
    scan_number(p, end, token);
    if (token.end == nullptr || !token.plain || token.is_real) return false;
    value = token.integer;
    stop = token.end;
    return true;
  }
  if (q == p || !token_ends_at(q, end)) return false;
  if (magnitude > static_cast<std::uint64_t>(INT64_MAX)) return false;
  value = static_cast<std::int64_t>(magnitude);
  stop = q;
  return true;
}

// What decoding a name met that a sound name does not hold.
inline constexpr std::uint8_t stray_hash_found = 1;   // a '#' without two hexadecimal digits
inline constexpr std::uint8_t zero_escape_found = 2;  // "#00": no name may hold a NUL byte

// A name's bytes [p, end) with each "#xx" (two hexadecimal digits) replaced by its byte, appended
// to `out`. A '#' not followed by two hexadecimal digits, and the escape "#00", stay as they are;
// the result tells which of those it met (stray_hash_found, zero_escape_found), 0 for none.
std::uint8_t decode_name(const char* p, const char* end, std::string& out);

// Scans a literal string whose '(' is just before `p`: returns the position of its closing ')'
// (parentheses balance unless escaped), or null when the input ends first. `plain` tells whether
// its bytes are the string's bytes as they stand (no backslash, no CR).
const char* scan_literal(const char* p, const char* end, bool& plain);
// The bytes of the literal string's content [p, close), escapes and ends of line read, appended
// to `out`.
void decode_literal(const char* p, const char* close, std::string& out);

// A hexadecimal string whose '<' is just before `p`, its bytes appended to `out` (an odd last
// digit is followed by 0). Returns the position past its '>'; null with `bad` set to the
// offending byte's position (or the end) when a byte is neither a digit nor white space or the
// input ends first.
const char* scan_hex(const char* p, const char* end, std::string& out, const char*& bad);

}  // namespace vantril::reader::scan
