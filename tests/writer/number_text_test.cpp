// The shortcut for reals with a short exact decimal form must give the general conversion's text.
#include "writer/number_text.hpp"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>

namespace vantril {
namespace {

// In this range the standard library's shortest fixed-notation form is the positional text
// real_text promises (beyond it, fixed notation prints a large float's exact binary value).
std::string shortest_fixed(float value) {
  char text[64];
  const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed);
  return std::string(text, result.ptr);
}

void expect_same_text(float value) {
  EXPECT_EQ(std::string(real_text(value).view()), shortest_fixed(value)) << "value " << value;
}

TEST(RealText, ShortDecimalsAndNeighboursMatchTheShortestRoundTripForm) {
  // Decimals with up to seven fraction digits (the shortcut takes at most six), their float
  // neighbours, and negatives.
  for (int fraction_digits = 0; fraction_digits <= 7; ++fraction_digits) {
    const double scale = std::pow(10.0, fraction_digits);
    for (std::int64_t n = 1; n <= 20000; n += (n < 2000 ? 1 : 97)) {
      const auto value = static_cast<float>(static_cast<double>(n) / scale);
      for (float sample : {value, std::nextafter(value, 0.0f), std::nextafter(value, 1e30f)}) {
        expect_same_text(sample);
        expect_same_text(-sample);
      }
    }
  }
  for (float value : {999999.0f, 1000000.0f, 1234567.0f, 16777215.0f, 16777216.0f, 16777218.0f,
                      999999.5f, 99999.75f, 0.000001f, 0.0000015f, 1e-7f}) {
    expect_same_text(value);
  }
}

TEST(RealText, RandomFloatsMatchTheShortestRoundTripForm) {
  std::mt19937 random(12345);
  std::uniform_int_distribution<std::uint32_t> bits;
  int checked = 0;
  while (checked < 200000) {
    const std::uint32_t pattern = bits(random);
    float value;
    std::memcpy(&value, &pattern, sizeof value);
    if (!std::isfinite(value) || std::fabs(value) >= 16777216.0f || std::fabs(value) < 1e-7f) {
      continue;
    }
    expect_same_text(value);
    ++checked;
  }
}

}  // namespace
}  // namespace vantril
