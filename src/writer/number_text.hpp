// Decimal text of integers and reals, written in place without general formatting.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vantril {

// Decimal texts written at `out`, each call returning the text's end.

// The lowest `count` decimal digits of `value`, zero-padded, ending just before `end`; the one
// digit routine behind every number the writer writes.
inline void put_digits(char* end, std::uint64_t value, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    *--end = static_cast<char>('0' + value % 10);
    value /= 10;
  }
}

// At most 20 bytes ("18446744073709551615"). Inline for the integers, which the serializer
// writes more than anything else.
inline char* put_unsigned(char* out, std::uint64_t value) {
  std::size_t digits = 1;
  for (std::uint64_t rest = value; rest >= 10; rest /= 10) ++digits;
  put_digits(out + digits, value, digits);
  return out + digits;
}

// "-" for negative values, no "+", no leading zeros; the minimum value comes out right.
inline char* put_integer(char* out, std::int64_t value) {
  if (value >= 0) return put_unsigned(out, static_cast<std::uint64_t>(value));
  *out = '-';
  // Negating in unsigned arithmetic is exact for the minimum value too.
  return put_unsigned(out + 1, 0u - static_cast<std::uint64_t>(value));
}

// The longest real: a sign, "0.", 44 zeros and 9 digits.
inline constexpr std::size_t max_real_text = 64;

// The shortest digits that read back as the same float, laid out positionally with no exponent,
// at most max_real_text bytes: 1 -> "1", 0.1f -> "0.1", 1e20f -> "100000000000000000000",
// 1e-7f -> "0.0000001". Zero keeps its sign ("-0"); NaN of either sign is "NaN"; infinities are
// "inf" and "-inf".
char* put_real(char* out, float value);

}  // namespace vantril
