// Not for users: the plain forms of names and literal strings, the byte tests that tell when a
// token has one and the short copies that form it. The library's token writers form them here,
// and so do ValueWriter's inline calls, which is why this is a header of the interface.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace vantril::detail {

// Bytes a name must escape besides those outside 0x21..0x7E: whitespace and the delimiters, and
// "#" itself since it introduces an escape. Flags of 0 and 1 rather than bools, so that they can
// be or'ed together without a test.
inline constexpr std::array<std::uint8_t, 256> name_escape = [] {
  std::array<std::uint8_t, 256> table{};
  for (std::size_t byte = 0; byte < 256; ++byte) table[byte] = byte < 0x21 || byte > 0x7E ? 1 : 0;
  for (char c : std::string_view(" \t\n\r\f()<>[]{}/%#")) table[static_cast<unsigned char>(c)] = 1;
  return table;
}();

// The bytes a literal string cannot carry bare: parentheses may need a backslash, a backslash or
// carriage return always does.
inline constexpr std::array<bool, 256> literal_special = [] {
  std::array<bool, 256> table{};
  for (char c : std::string_view("()\\\r")) table[static_cast<unsigned char>(c)] = true;
  return table;
}();

// False when the literal string form is "(" the bytes ")" unchanged, with nothing escaped. One
// table look-up a byte: find_first_of would search the four specials once for every byte.
inline bool literal_string_needs_escapes(std::string_view bytes) {
  bool special = false;
  for (const char c : bytes) special |= literal_special[static_cast<unsigned char>(c)];
  return special;
}

// Whether any of the bytes needs an escape: name_escape's flags or'ed, two loads and an or a byte,
// four bytes a step and the last four overlapping the step before (or, for fewer than four, the
// first, middle and last byte). Most names are a few letters, too short for wider words to pay
// for the eleven delimiters they would have to test. For a name the compiler sees (a literal
// given to an inline call) the whole test folds away.
inline int name_escape_flags(const unsigned char* at) {
  return name_escape[at[0]] | name_escape[at[1]] | name_escape[at[2]] | name_escape[at[3]];
}
inline bool name_needs_escapes(std::string_view bytes) {
  const auto* at = reinterpret_cast<const unsigned char*>(bytes.data());
  const std::size_t size = bytes.size();
  if (size < 4) {
    if (size == 0) return false;
    return (name_escape[at[0]] | name_escape[at[size / 2]] | name_escape[at[size - 1]]) != 0;
  }
  const unsigned char* const last = at + size - 4;
  // One branch every four bytes, taken once at most.
  for (; at < last; at += 4) {
    if (name_escape_flags(at) != 0) return true;
  }
  return name_escape_flags(last) != 0;
}

// The `size` bytes at `from` copied to `out` in a few overlapping word moves rather than a call:
// tokens are mostly shorter than the call's own overhead. Reads and writes exactly those bytes.
inline void copy_token_bytes(char* out, const char* from, std::size_t size) {
  if (size >= 8) {
    for (std::size_t at = 0; at + 8 < size; at += 8) std::memcpy(out + at, from + at, 8);
    std::memcpy(out + size - 8, from + size - 8, 8);
  } else if (size >= 4) {
    std::uint32_t first = 0;
    std::uint32_t last = 0;
    std::memcpy(&first, from, 4);
    std::memcpy(&last, from + size - 4, 4);
    std::memcpy(out, &first, 4);
    std::memcpy(out + size - 4, &last, 4);
  } else if (size > 0) {
    // One, two or three bytes: the first, the middle and the last cover them all.
    const char first = from[0];
    const char middle = from[size / 2];
    const char last = from[size - 1];
    out[0] = first;
    out[size / 2] = middle;
    out[size - 1] = last;
  }
}

// "/" and the bytes at `out` when none needs an escape, returning the end; else null, with
// nothing formed. size + 1 bytes.
inline char* put_plain_name(char* out, std::string_view bytes) {
  if (name_needs_escapes(bytes)) return nullptr;
  *out++ = '/';
  copy_token_bytes(out, bytes.data(), bytes.size());
  return out + bytes.size();
}

// "(" the bytes ")" when none needs a backslash, returning the end; else null, with nothing
// formed (escapes depend on how the parentheses pair up, which the slower writer works out).
// size + 2 bytes.
inline char* put_plain_literal(char* out, std::string_view bytes) {
  if (literal_string_needs_escapes(bytes)) return nullptr;
  *out++ = '(';
  copy_token_bytes(out, bytes.data(), bytes.size());
  out += bytes.size();
  *out++ = ')';
  return out;
}

}  // namespace vantril::detail
