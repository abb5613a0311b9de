// Decimal text of integers and reals, written in place without general formatting.
#pragma once

#include <array>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "vantril/detail/small_digits.hpp"

namespace vantril {

// Decimal texts written at `out`, each call returning the text's end.

using detail::digit_pair;
using detail::digit_pairs;
using detail::put_up_to_four_digits;

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
  // Generations, counts, coordinates and sizes: most integers written have up to four digits,
  // which take one pair or two without counting the digits first.
  if (value < 10000) return put_up_to_four_digits(out, static_cast<std::uint32_t>(value));
  // Object numbers, offsets and the like: five to eight digits. The high and the low four are
  // formed apart, so that their divisions do not wait on each other as a chain of divisions by
  // 100 would.
  if (value < 100000000) {
    const auto high = static_cast<std::uint32_t>(value / 10000);
    const auto low = static_cast<std::uint32_t>(value % 10000);
    out = put_up_to_four_digits(out, high);
    std::memcpy(out, digit_pair(low / 100), 2);
    std::memcpy(out + 2, digit_pair(low % 100), 2);
    return out + 4;
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

// The commonest reals by far are multiples of 1/64 (halves, quarters, eighths: 0.5, 0.25, 1.75,
// 612.375; and zero, its sign kept), and those need no search for their digits. With k/64 the
// fraction, k = o * 2^t for an odd o, it is o / 2^(6-t) = o * 5^(6-t) / 10^(6-t): 6-t fraction
// digits, the last nonzero (o and 5 are odd), so the fewest that put_real's search for an
// exact short decimal would find; the same limit of six significant digits applies.
//
// The text after the whole part of each k, "" or "." and its digits, is formed once, with the
// largest whole part the limit lets go before it.
struct SixtyFourthText {
  // Eight bytes copied whole, so that forming the fraction is one store; `length` of them count.
  char text[8];
  std::uint32_t length;
  std::uint32_t largest_whole;
};

inline constexpr std::array<SixtyFourthText, 64> sixty_fourth_texts = [] {
  std::array<SixtyFourthText, 64> texts{};
  texts[0] = SixtyFourthText{{}, 0, 0xFFFFFFFFu};
  std::uint32_t power_of_five = 1;
  std::uint32_t power_of_ten = 1;
  for (std::uint32_t digits = 1; digits <= 6; ++digits) {
    power_of_five *= 5;
    power_of_ten *= 10;
    // The k whose fraction has `digits` digits: odd multiples of 2^(6-digits).
    for (std::uint32_t k = 1u << (6 - digits); k < 64; k += 2u << (6 - digits)) {
      SixtyFourthText& entry = texts[k];
      std::uint32_t fraction = (k >> (6 - digits)) * power_of_five;
      entry.text[0] = '.';
      for (std::uint32_t i = digits; i >= 1; --i) {
        entry.text[i] = static_cast<char>('0' + fraction % 10);
        fraction /= 10;
      }
      entry.length = digits + 1;
      // whole * 10^digits + fraction stays below 1000000.
      entry.largest_whole = (999999 - (k >> (6 - digits)) * power_of_five) / power_of_ten;
    }
  }
  return texts;
}();

// Writes at most 16 bytes from `out`, some past the text's end (callers give max_real_text).
// Returns null for any value not a multiple of 1/64, or one the limit sends to the general
// conversion. With `below_10000`, null too for a magnitude of 10000 or more: the whole part then
// takes only the short branches of its digits, and a caller inlining it saves fewer registers.
template <bool below_10000 = false>
inline char* put_sixty_fourths(char* out, float value) {
  const float magnitude = std::fabs(value);
  if (!(magnitude < (below_10000 ? 10000.0f : 16777216.0f))) return nullptr;
  // Exact: a power of two only moves the exponent, and the product stays far below float's range.
  const float scaled = magnitude * 64.0f;
  const auto whole_scaled = static_cast<std::uint32_t>(scaled);
  if (static_cast<float>(whole_scaled) != scaled) return nullptr;
  const std::uint32_t whole = whole_scaled >> 6;
  const SixtyFourthText& fraction = sixty_fourth_texts[whole_scaled & 63];
  if (whole > fraction.largest_whole) return nullptr;
  if (std::signbit(value)) *out++ = '-';
  out = below_10000 ? put_up_to_four_digits(out, whole) : put_unsigned(out, whole);
  std::memcpy(out, fraction.text, sizeof fraction.text);
  return out + fraction.length;
}

// The shortest digits that read back as the same float, laid out positionally with no exponent,
// at most max_real_text bytes: 1 -> "1", 0.1f -> "0.1", 1e-7f -> "0.0000001". Zero keeps its
// sign ("-0"). A whole value of magnitude 2^63 or more gets ".0" after its digits
// (1e20f -> "100000000000000000000.0"): bare, its digits read as an integer, one beyond the 64 bits
// readers keep integers in. NaN and the infinities have no text: null, with nothing written.
// Out of line, so that the walks that form every kind of leaf stay small; a writer of reals alone
// tries put_sixty_fourths inline first.
char* put_real(char* out, float value);

}  // namespace vantril
