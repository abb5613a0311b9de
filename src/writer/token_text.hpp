// The bytes of single tokens formed straight into memory the caller has checked is large enough:
// names with their escapes, strings, numbers, references, booleans and null. Every writer of
// values forms its tokens here (see emit_value.hpp). All inline.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "vantril/model/object.hpp"
#include "writer/number_text.hpp"

namespace vantril {

inline constexpr std::string_view hex_digits = "0123456789ABCDEF";

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
// for the eleven delimiters they would have to test.
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
// nothing formed.
inline char* put_plain_name(char* out, std::string_view bytes) {
  if (name_needs_escapes(bytes)) return nullptr;
  *out++ = '/';
  copy_token_bytes(out, bytes.data(), bytes.size());
  return out + bytes.size();
}

// The bytes of a name, each byte that needs it as "#XX": at most 3 * size bytes.
inline char* put_escaped_name_bytes(char* out, std::string_view bytes) {
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (name_escape[byte] != 0) {
      *out++ = '#';
      *out++ = hex_digits[byte >> 4];
      *out++ = hex_digits[byte & 0x0F];
    } else {
      *out++ = c;
    }
  }
  return out;
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

// The bytes as pairs of upper-case hexadecimal digits: 2 * size bytes.
inline char* put_hex_digits(char* out, std::string_view bytes) {
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    *out++ = hex_digits[byte >> 4];
    *out++ = hex_digits[byte & 0x0F];
  }
  return out;
}

// "<" the bytes as pairs of upper-case hexadecimal digits ">": 2 * size + 2 bytes.
inline char* put_hex_string(char* out, std::string_view bytes) {
  *out++ = '<';
  out = put_hex_digits(out, bytes);
  *out++ = '>';
  return out;
}

inline char* put_reference(char* out, ObjectId id) {
  out = put_unsigned(out, id.number);
  *out++ = ' ';
  out = put_unsigned(out, id.generation);
  std::memcpy(out, " R", 2);
  return out + 2;
}

inline char* put_boolean(char* out, bool value) {
  const std::string_view text = value ? "true" : "false";
  std::memcpy(out, text.data(), text.size());
  return out + text.size();
}

inline char* put_null(char* out) {
  std::memcpy(out, "null", 4);
  return out + 4;
}

// The longest number-like token: a space, then "-0.", 44 zeros and 9 digits for a real; a
// reference's two numbers and " R" are shorter.
inline constexpr std::size_t max_number_token = 1 + max_real_text;

// Null, a boolean, a number or a reference (the kinds that take a leading space) at `out`, after a
// space when `space` is set; at most max_number_token bytes. Returns the end, or null for a real
// that is NaN or infinite (see put_real).
[[gnu::always_inline]] inline char* put_leaf(char* out, const Object& object, bool space) {
  if (space) *out++ = ' ';
  switch (object.kind()) {
    case ObjectKind::Integer:
      return put_integer(out, *object.integer());
    case ObjectKind::Real:
      return put_real(out, *object.real());
    case ObjectKind::Reference:
      return put_reference(out, *object.reference());
    case ObjectKind::Boolean:
      return put_boolean(out, *object.boolean());
    default:
      return put_null(out);
  }
}

}  // namespace vantril
