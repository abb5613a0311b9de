// The bytes of single tokens formed straight into memory the caller has checked is large enough:
// names with their escapes, strings, numbers, references, booleans and null. Every writer of
// values forms its tokens here (see emit_value.hpp). All inline.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "vantril/detail/token_bytes.hpp"
#include "vantril/model/object.hpp"
#include "writer/number_text.hpp"

namespace vantril {

inline constexpr std::string_view hex_digits = "0123456789ABCDEF";

// The plain forms of names and literal strings and their byte tests, shared with ValueWriter's
// inline calls.
using detail::copy_token_bytes;
using detail::literal_special;
using detail::literal_string_needs_escapes;
using detail::name_escape;
using detail::name_needs_escapes;
using detail::put_plain_literal;
using detail::put_plain_name;

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
