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
