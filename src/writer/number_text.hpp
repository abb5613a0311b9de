// Decimal text of integers and reals, written in place without general formatting.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace vantril {

// Decimal texts written at `out`, each call returning the text's end.

// "00", "01", ... "99": two digits per division halve the divisions of one at a time.
inline constexpr char digit_pairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// 10^k for k = 0..19, all that 64 bits hold.
inline constexpr std::array<std::uint64_t, 20> powers_of_ten = [] {
  std::array<std::uint64_t, 20> powers{};
  std::uint64_t power = 1;
  for (std::uint64_t& entry : powers) {
    entry = power;
    power *= 10;
  }
  return powers;
}();

// The lowest `count` decimal digits of `value`, zero-padded, ending just before `end`; the one
// digit routine behind every number the writer writes.
inline void put_digits(char* end, std::uint64_t value, std::size_t count) {
  for (; count >= 2; count -= 2) {
    const auto pair = static_cast<std::size_t>(value % 100);
    value /= 100;
    end -= 2;
    std::memcpy(end, digit_pairs + 2 * pair, 2);
  }
  if (count == 1) *--end = static_cast<char>('0' + value % 10);
}

// The number of decimal digits of `value`, 1 for 0: the bit length times log10(2) (1233 / 4096)
// is the count or one short of it, and one comparison tells which.
inline std::size_t decimal_digits(std::uint64_t value) {
  const auto estimate = static_cast<std::size_t>((std::bit_width(value | 1) * 1233) >> 12);
  return estimate + ((value | 1) >= powers_of_ten[estimate] ? 1 : 0);
}

// At most 20 bytes ("18446744073709551615"). Inline for the integers, which the serializer
// writes more than anything else.
inline char* put_unsigned(char* out, std::uint64_t value) {
  // Generations, counts and small coordinates: most integers written have one digit.
  if (value < 10) {
    *out = static_cast<char>('0' + value);
    return out + 1;
  }
  const std::size_t digits = decimal_digits(value);
  put_digits(out + digits, value, digits);
  return out + digits;
}

// The decimal text of `value` appended to `text`.
inline void append_unsigned(std::string& text, std::uint64_t value) {
  char digits[20];
  text.append(digits, put_unsigned(digits, value));
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
// at most max_real_text bytes: 1 -> "1", 0.1f -> "0.1", 1e-7f -> "0.0000001". Zero keeps its
// sign ("-0"). A whole value of magnitude 2^63 or more gets ".0" after its digits
// (1e20f -> "100000000000000000000.0"): bare, its digits read as an integer, one beyond the 64 bits
// readers keep integers in. NaN and the infinities have no text: null, with nothing written.
char* put_real(char* out, float value);

}  // namespace vantril
