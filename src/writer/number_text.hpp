// Decimal text of integers and reals, built in small scratch areas without general formatting.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace vantril {

// Room for the longest 64-bit decimal: "-9223372036854775808" or "18446744073709551615".
struct IntegerText {
  std::array<char, 20> chars;
  std::size_t first;  // the text is chars[first..20)
  std::string_view view() const { return {chars.data() + first, chars.size() - first}; }
};

// The same decimal texts written at `out`, returning their end: at most 20 bytes for integers
// and at most max_real_text bytes for reals. Inline for the integers, which the serializer
// writes more than anything else.
inline char* put_unsigned(char* out, std::uint64_t value) {
  std::size_t digits = 1;
  for (std::uint64_t rest = value; rest >= 10; rest /= 10) ++digits;
  char* end = out + digits;
  char* at = end;
  do {
    *--at = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  return end;
}

inline char* put_integer(char* out, std::int64_t value) {
  if (value >= 0) return put_unsigned(out, static_cast<std::uint64_t>(value));
  *out = '-';
  // Negating in unsigned arithmetic is exact for the minimum value too.
  return put_unsigned(out + 1, 0u - static_cast<std::uint64_t>(value));
}

inline constexpr std::size_t max_real_text = 64;
char* put_real(char* out, float value);

IntegerText unsigned_text(std::uint64_t value);
// "-" for negative values, no "+", no leading zeros; the minimum value comes out right.
IntegerText integer_text(std::int64_t value);

// Room for the longest 32-bit float in positional form: a sign, "0.", 44 zeros, 9 digits.
struct RealText {
  std::array<char, 64> chars;
  std::size_t size;
  std::string_view view() const { return {chars.data(), size}; }
};

// The shortest digits that read back as the same float, laid out positionally with no exponent:
// 1 -> "1", 0.1f -> "0.1", 1e20f -> "100000000000000000000", 1e-7f -> "0.0000001". Zero keeps its
// sign ("-0"); NaN of either sign is "NaN"; infinities are "inf" and "-inf".
RealText real_text(float value);

}  // namespace vantril
