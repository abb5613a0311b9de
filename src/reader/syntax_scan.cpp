// The out-of-line scanners: reals, long integers, escaped names and both string forms.
#include "reader/syntax_scan.hpp"

#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

namespace vantril::reader::scan {

namespace {

// 10^k for k = 0..10, each exact as a float (5^10 < 2^24).
constexpr float float_powers_of_ten[] = {1e0f, 1e1f, 1e2f, 1e3f, 1e4f, 1e5f,
                                         1e6f, 1e7f, 1e8f, 1e9f, 1e10f};

// Whether the digits [digits, end) have a nonzero digit before any point: a value of at least 1,
// which cannot have underflowed.
bool at_least_one(const char* digits, const char* end) {
  for (const char* d = digits; d != end && *d != '.'; ++d) {
    if (*d != '0') return true;
  }
  return false;
}

NumberToken real_of_text(const char* digits, const char* end, bool negative) {
  NumberToken token;
  token.end = end;
  token.is_real = true;
  float value = 0;
  const std::from_chars_result read = std::from_chars(digits, end, value, std::chars_format::fixed);
  if (read.ec == std::errc::result_out_of_range || !std::isfinite(value)) {
    // The model holds no infinity: a value too large is kept as the largest float, one too
    // small (nonzero) rounds to zero as any float rounding does.
    if (at_least_one(digits, end)) {
      value = std::numeric_limits<float>::max();
      token.clamped = true;
    } else {
      value = 0;
    }
  } else if (read.ec != std::errc() || read.ptr != end) {
    token.end = nullptr;
    return token;
  }
  token.real = negative ? -value : value;
  return token;
}

}  // namespace

NumberToken read_real(const char* digits, const char* end, bool negative) {
  // Most reals have a few digits: with at most 2^24 as the digits' integer and at most ten
  // after the point, both operands are exact floats and one correctly rounded division gives the
  // correctly rounded value.
  std::uint64_t magnitude = 0;
  std::size_t count = 0;
  std::size_t after_point = 0;
  bool point = false;
  for (const char* d = digits; d != end; ++d) {
    if (*d == '.') {
      point = true;
      continue;
    }
    magnitude = magnitude * 10 + static_cast<unsigned char>(*d - '0');
    ++count;
    if (point) ++after_point;
    if (count > 19) break;
  }
  if (count <= 19 && magnitude <= (std::uint64_t{1} << 24) && after_point <= 10) {
    NumberToken token;
    token.end = end;
    token.is_real = true;
    const float value = static_cast<float>(magnitude) / float_powers_of_ten[after_point];
    token.real = negative ? -value : value;
    return token;
  }
  return real_of_text(digits, end, negative);
}

NumberToken read_big_integer(const char* digits, const char* end, bool negative) {
  NumberToken token = real_of_text(digits, end, negative);
  token.beyond_64_bits = token.end != nullptr;
  return token;
}

std::uint8_t decode_name(const char* p, const char* end, std::string& out) {
  std::uint8_t found = 0;
  while (p != end) {
    const char c = *p;
    if (c == '#') {
      const std::uint8_t high = end - p >= 3 ? hex_values[static_cast<unsigned char>(p[1])] : 0xFF;
      const std::uint8_t low = end - p >= 3 ? hex_values[static_cast<unsigned char>(p[2])] : 0xFF;
      if (high == 0xFF || low == 0xFF) {
        found |= stray_hash_found;
      } else if ((high | low) == 0) {
        found |= zero_escape_found;
      } else {
        out.push_back(static_cast<char>(high << 4 | low));
        p += 3;
        continue;
      }
    }
    out.push_back(c);
    ++p;
  }
  return found;
}

const char* scan_literal(const char* p, const char* end, bool& plain) {
  std::size_t depth = 1;
  bool as_is = true;
  while (p != end) {
    const char c = *p;
    if ((class_of(c) & literal_stop_bit) == 0) {
      ++p;
      continue;
    }
    if (c == '\\') {
      // The escaped byte never opens or closes a level.
      as_is = false;
      if (end - p < 2) return nullptr;
      p += 2;
      continue;
    }
    if (c == '\r') {
      as_is = false;
    } else if (c == '(') {
      ++depth;
    } else if (c == ')' && --depth == 0) {
      plain = as_is;
      return p;
    }
    ++p;
  }
  return nullptr;
}

void decode_literal(const char* p, const char* close, std::string& out) {
  while (p != close) {
    const char c = *p++;
    if (c == '\r') {
      // Every end of line in a string's text reads as a line feed.
      out.push_back('\n');
      if (p != close && *p == '\n') ++p;
      continue;
    }
    if (c != '\\') {
      out.push_back(c);
      continue;
    }
    // The scan stepped over the byte after each backslash, so one is there.
    const char escaped = *p++;
    switch (escaped) {
      case 'n':
        out.push_back('\n');
        break;
      case 'r':
        out.push_back('\r');
        break;
      case 't':
        out.push_back('\t');
        break;
      case 'b':
        out.push_back('\b');
        break;
      case 'f':
        out.push_back('\f');
        break;
      case '\r':
        // A backslash at the end of a line continues the string on the next.
        if (p != close && *p == '\n') ++p;
        break;
      case '\n':
        break;
      default:
        if (escaped >= '0' && escaped <= '7') {
          // One to three octal digits; a value above 255 keeps its low eight bits.
          auto value = static_cast<unsigned>(escaped - '0');
          for (int more = 0; more < 2 && p != close && *p >= '0' && *p <= '7'; ++more, ++p) {
            value = value * 8 + static_cast<unsigned>(*p - '0');
          }
          out.push_back(static_cast<char>(value & 0xFF));
        } else {
          // Any other escaped byte, ( ) and \ among them, stands for itself.
          out.push_back(escaped);
        }
        break;
    }
  }
}

const char* scan_hex(const char* p, const char* end, std::string& out, const char*& bad) {
  unsigned high = 0;
  bool have_high = false;
  for (; p != end; ++p) {
    const char c = *p;
    const std::uint8_t value = hex_values[static_cast<unsigned char>(c)];
    if (value != 0xFF) {
      if (have_high) {
        out.push_back(static_cast<char>(high << 4 | value));
      } else {
        high = value;
      }
      have_high = !have_high;
    } else if (c == '>') {
      if (have_high) out.push_back(static_cast<char>(high << 4));
      return p + 1;
    } else if (!is_white(c)) {
      bad = p;
      return nullptr;
    }
  }
  bad = end;
  return nullptr;
}

}  // namespace vantril::reader::scan
