// Not for users: the decimal digits of integers below 10000, which the library's number texts
// form and ValueWriter's inline integer call forms too, which is why this is a header of the
// interface.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace vantril::detail {

// "00", "01", ... "99": two digits per division halve the divisions of one at a time.
inline constexpr char digit_pairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// The two digits of a value below 100.
inline const char* digit_pair(std::uint32_t value) { return digit_pairs + 2 * std::size_t{value}; }

// One to four digits of a value below 10000, at `out`, returning their end.
inline char* put_up_to_four_digits(char* out, std::uint32_t value) {
  if (value < 100) {
    if (value < 10) {
      *out = static_cast<char>('0' + value);
      return out + 1;
    }
    std::memcpy(out, digit_pair(value), 2);
    return out + 2;
  }
  const std::uint32_t high = value / 100;
  const std::uint32_t low = value % 100;
  if (high < 10) {
    *out++ = static_cast<char>('0' + high);
  } else {
    std::memcpy(out, digit_pair(high), 2);
    out += 2;
  }
  std::memcpy(out, digit_pair(low), 2);
  return out + 2;
}

}  // namespace vantril::detail
