// Reals, the content builder's operands and the serializer's alike, are one text: plain digits
// that read back as the same float and carry exactly the shortest significant digits, checked
// against the standard library's own shortest conversion on every float tried.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>

#include "writer/number_text.hpp"

namespace vantril {
namespace {

std::string serializer_text(float value) {
  char text[max_real_text];
  return std::string(text, put_real(text, value));
}

// The significant digits of the shortest text that reads back as `value`, from the standard
// library's own shortest conversion: "1.2345e+01" gives "12345".
std::string shortest_digits(float value) {
  char text[64];
  const char* end =
      std::to_chars(text, text + sizeof text, std::fabs(value), std::chars_format::scientific).ptr;
  std::string digits;
  for (const char* c = text; c != end && *c != 'e'; ++c) {
    if (*c != '.') digits += *c;
  }
  return digits;
}

// What the writer's text must be: plain positional digits (no exponent), reading back as the
// same float, with exactly the shortest significant digits.
std::string operand_text(float value) {
  const std::string text = serializer_text(value);
  EXPECT_EQ(text.find_first_of("eE"), std::string::npos) << text;
  EXPECT_EQ(std::strtof(text.c_str(), nullptr), value) << text;
  if (value == 0.0f) {
    EXPECT_EQ(text, std::signbit(value) ? "-0" : "0");
    return text;
  }
  std::string digits;
  for (const char c : text) {
    if (c >= '0' && c <= '9') digits += c;
  }
  // Leading zeros ("0.001") and the zeros that place a large value are not significant.
  digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size()));
  const std::string shortest = shortest_digits(value);
  if (digits.substr(0, shortest.size()) != shortest ||
      digits.find_first_not_of('0', shortest.size()) != std::string::npos) {
    ADD_FAILURE() << text << " does not carry the shortest digits " << shortest;
  }
  return text;
}

TEST(OperandText, IsTheShortestPlainTextThatReadsBackForEveryFloatTried) {
  // Every float of a few whole binades around page coordinates and unit values, then random bit
  // patterns over the whole range, then the edges of the fast paths.
  std::size_t checked = 0;
  for (const float low : {0.5f, 256.0f, 8388608.0f}) {
    const std::uint32_t first = std::bit_cast<std::uint32_t>(low);
    for (std::uint32_t bits = first; bits < first + (1u << 23); bits += 29) {
      const float value = std::bit_cast<float>(bits);
      ASSERT_FALSE(operand_text(value).empty()) << bits;
      ASSERT_FALSE(operand_text(-value).empty()) << bits;
      checked += 2;
    }
  }
  std::mt19937 random(12);
  for (int i = 0; i < 500000; ++i) {
    const float value = std::bit_cast<float>(static_cast<std::uint32_t>(random()));
    if (value != value) continue;
    ASSERT_FALSE(operand_text(value).empty()) << std::bit_cast<std::uint32_t>(value);
    ++checked;
  }
  for (const float value : {0.0f, -0.0f, 1.0f, -1.0f, 16777215.0f, 16777216.0f, 16777218.0f,
                            -16777215.0f, 123456792.0f, 1e-5f, 1e-7f, 0.1f, 1e20f}) {
    EXPECT_FALSE(operand_text(value).empty()) << value;
  }
  EXPECT_GT(checked, 1000000u);
}

}  // namespace
}  // namespace vantril
