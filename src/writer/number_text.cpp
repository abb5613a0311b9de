// Real digits from the shortest round-trip conversion, placed positionally here because the
// fixed-notation conversion prints large floats' exact binary values (1e20f would come out as
// 100000002004087734272).
#include "writer/number_text.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <string_view>
#include <system_error>

#include "runtime/fatal.hpp"

namespace vantril {

namespace {

char* put_text(char* out, std::string_view text) {
  for (char c : text) *out++ = c;
  return out;
}

char* put_zeros(char* out, std::int64_t count) {
  for (std::int64_t i = 0; i < count; ++i) *out++ = '0';
  return out;
}

// Values with a short exact decimal form (0.5, 0.25, 100, 1.75) are common and take a cheaper path
// than the general conversion, with the same result: a decimal of at most six significant digits
// is the only decimal of its length or shorter that reads back as its float (floats keep six
// decimal digits), so when the float is exactly such a decimal, those are its shortest digits. An
// integer below 2^24 is exact too, and every shorter decimal is another exact integer. Scaling
// by 10^k is exact in double arithmetic (24 + 14 significant bits at most), and so is the test
// for a whole number by conversion (the scaled value stays below 2^44). Returns null when the
// value has no such form.
char* put_short_exact(char* out, float value) {
  const double magnitude = std::fabs(static_cast<double>(value));
  if (!(magnitude >= 1e-6 && magnitude < 16777216.0)) return nullptr;
  double scale = 1;
  for (std::size_t fraction_digits = 0; fraction_digits <= 6; ++fraction_digits) {
    const double scaled = magnitude * scale;
    const auto whole = static_cast<std::int64_t>(scaled);
    if (static_cast<double>(whole) == scaled) {
      if (fraction_digits > 0 && scaled >= 1e6) return nullptr;
      // The whole part, then the fraction's digits zero-padded: 5 with two fraction digits is
      // 0.05.
      const auto fraction_scale = static_cast<std::uint64_t>(scale);
      const auto digits = static_cast<std::uint64_t>(whole);
      if (std::signbit(value)) *out++ = '-';
      out = put_unsigned(out, digits / fraction_scale);
      if (fraction_digits > 0) {
        *out++ = '.';
        out += fraction_digits;
        put_digits(out, digits % fraction_scale, fraction_digits);
      }
      return out;
    }
    scale *= 10;
  }
  return nullptr;
}

}  // namespace

// The longest texts: "-0.", 44 zeros and 9 digits (56 bytes), or "-", 39 digits and ".0".
char* put_real(char* out, float value) {
  if (char* end = put_sixty_fourths(out, value)) return end;
  if (!std::isfinite(value)) return nullptr;
  if (char* end = put_short_exact(out, value)) return end;
  // Below 2^24 the shortest round-trip form std::to_chars picks, when it is not exponential, is
  // this function's text: every integer there is a float, so the digits can only shrink in the
  // fraction, and both choose the nearest of the shortest.
  if (std::fabs(value) < 16777216.0f) {
    char* const end = std::to_chars(out, out + max_real_text, value).ptr;
    if (std::find(out, end, 'e') == end) return end;
  }
  if (std::signbit(value)) *out++ = '-';

  // Scientific notation without a precision gives the shortest digits that round-trip (the
  // nearest such on a tie): "d[.ddd]e±xx".
  std::array<char, 32> scientific{};
  const auto [end, error] = std::to_chars(scientific.data(), scientific.data() + scientific.size(),
                                          std::fabs(value), std::chars_format::scientific);
  if (error != std::errc()) fatal_error("a float did not fit its conversion scratch area");
  const std::string_view converted(scientific.data(),
                                   static_cast<std::size_t>(end - scientific.data()));

  const std::size_t e_position = converted.find('e');
  if (e_position == std::string_view::npos || e_position == 0) {
    fatal_error("unexpected form of a converted float");
  }
  std::array<char, 16> digits{};
  std::size_t digit_count = 0;
  for (char c : converted.substr(0, e_position)) {
    if (c == '.') continue;
    if (digit_count == digits.size()) fatal_error("more float digits than expected");
    digits[digit_count++] = c;
  }
  std::int64_t exponent = 0;
  const std::string_view exponent_text = converted.substr(e_position + 1);
  const bool negative_exponent = !exponent_text.empty() && exponent_text.front() == '-';
  for (char c : exponent_text) {
    if (c >= '0' && c <= '9') exponent = exponent * 10 + (c - '0');
  }
  if (negative_exponent) exponent = -exponent;
  // A float's decimal exponent lies within -45..38; anything else would overrun the text.
  if (exponent < -46 || exponent > 39) fatal_error("a float's exponent out of its range");

  // The number of digits before the decimal point.
  const std::int64_t point = exponent + 1;
  const std::string_view all_digits(digits.data(), digit_count);
  const auto count = static_cast<std::int64_t>(digit_count);
  if (point <= 0) {
    out = put_text(out, "0.");
    out = put_zeros(out, -point);
    return put_text(out, all_digits);
  }
  if (point < count) {
    const auto before = static_cast<std::size_t>(point);
    out = put_text(out, all_digits.substr(0, before));
    *out++ = '.';
    return put_text(out, all_digits.substr(before));
  }
  out = put_text(out, all_digits);
  out = put_zeros(out, point - count);
  // 2^63: from here on the digits alone would overflow a reader's 64-bit integer.
  if (std::fabs(value) >= 9223372036854775808.0f) out = put_text(out, ".0");
  return out;
}

}  // namespace vantril
