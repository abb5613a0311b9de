// The shortcut for reals with a short exact decimal form must give the general conversion's text.
#include "writer/number_text.hpp"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace vantril {
namespace {

// In this range the standard library's shortest fixed-notation form is the positional text
// put_real promises (beyond it, fixed notation prints a large float's exact binary value).
std::string shortest_fixed(float value) {
  char text[64];
  const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed);
  return std::string(text, result.ptr);
}

void expect_same_text(float value) {
  char text[max_real_text];
  char* end = put_real(text, value);
  EXPECT_EQ(std::string(text, end), shortest_fixed(value)) << "value " << value;
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

// Multiples of 1/64 take a path of their own: every one up to 1,000,000/64, the largest below
// 2^24, and their negatives, on both sides of the six-significant-digit limit.
TEST(RealText, SixtyFourthsMatchTheShortestRoundTripForm) {
  for (std::int64_t m = 1; m <= 1000000; ++m) {
    const auto value = static_cast<float>(static_cast<double>(m) / 64.0);
    expect_same_text(value);
    expect_same_text(-value);
  }
  for (std::int64_t m = (std::int64_t{1} << 30) - 1000; m < (std::int64_t{1} << 30); ++m) {
    expect_same_text(static_cast<float>(static_cast<double>(m) / 64.0));
  }
}

// The form a value writer inlines takes the multiples of 1/64 below 10000 exactly as the general
// one does, and leaves every larger one to it.
TEST(RealText, SixtyFourthsBelow10000TakeTheShortFormAndNoOthers) {
  for (std::int64_t m = 0; m <= 1000000; ++m) {
    const auto value = static_cast<float>(static_cast<double>(m) / 64.0);
    for (const float sample : {value, -value}) {
      char text[max_real_text];
      char general[max_real_text];
      const char* const end = put_sixty_fourths<true>(text, sample);
      const char* const general_end = put_sixty_fourths(general, sample);
      if (std::fabs(sample) >= 10000.0f) {
        EXPECT_EQ(end, nullptr) << "value " << sample;
      } else {
        ASSERT_EQ(end == nullptr, general_end == nullptr) << "value " << sample;
        if (end != nullptr) {
          EXPECT_EQ(std::string_view(text, static_cast<std::size_t>(end - text)),
                    std::string_view(general, static_cast<std::size_t>(general_end - general)));
        }
      }
    }
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

// Integers at the edges of their ranges and at every power of ten, against the standard
// library's conversion; and the padded form that cross-reference rows use.
TEST(IntegerText, MatchesTheStandardConversionAtEveryLengthAndEdge) {
  std::vector<std::int64_t> values = {0, -1, INT64_MIN, INT64_MAX, INT64_MIN + 1};
  for (std::int64_t power = 1; power <= INT64_MAX / 10; power *= 10) {
    for (std::int64_t value : {power - 1, power, power + 1}) {
      values.push_back(value);
      values.push_back(-value);
    }
  }
  for (const std::int64_t value : values) {
    char expected[24];
    char text[24];
    const auto standard = std::to_chars(expected, expected + sizeof expected, value);
    EXPECT_EQ(std::string(text, put_integer(text, value)), std::string(expected, standard.ptr));
  }
  char unsigned_text[24];
  EXPECT_EQ(std::string(unsigned_text, put_unsigned(unsigned_text, UINT64_MAX)),
            "18446744073709551615");

  const struct {
    std::uint64_t value;
    std::size_t width;
    const char* text;
  } padded[] = {{0, 5, "00000"},
                {65535, 5, "65535"},
                {583, 10, "0000000583"},
                {4294967295u, 10, "4294967295"},
                {123456, 3, "456"}};
  for (const auto& row : padded) {
    char text[16];
    put_digits(text + row.width, row.value, row.width);
    EXPECT_EQ(std::string(text, row.width), row.text);
  }
}

// Below 10^8 the digits are formed in groups of four, each group with its own branches: every
// value up to two million, and a spread of larger ones to 10^8 with each group's edges.
TEST(IntegerText, FormsEveryGroupOfFourDigitsAsTheStandardConversionDoes) {
  std::vector<std::uint64_t> values;
  for (std::uint64_t value = 0; value < 2000000; ++value) values.push_back(value);
  for (std::uint64_t high = 1; high < 10000; high += 37) {
    for (const std::uint64_t low : {0u, 1u, 9u, 10u, 99u, 100u, 999u, 1000u, 9999u}) {
      values.push_back(high * 10000 + low);
    }
  }
  values.insert(values.end(), {99999999, 100000000, 100000001});
  for (const std::uint64_t value : values) {
    char expected[24];
    char text[24];
    const auto standard = std::to_chars(expected, expected + sizeof expected, value);
    const char* end = put_unsigned(text, value);
    ASSERT_EQ(std::string_view(text, static_cast<std::size_t>(end - text)),
              std::string_view(expected, static_cast<std::size_t>(standard.ptr - expected)))
        << value;
  }
}

// The digit count is estimated from the bit length, so every bit length and every decimal length
// has its edges checked, over the whole unsigned range.
TEST(IntegerText, CountsTheDigitsAtEveryBitAndDecimalLength) {
  std::vector<std::uint64_t> values = {0, 1, UINT64_MAX, UINT64_MAX - 1};
  for (int bits = 1; bits < 64; ++bits) {
    const std::uint64_t power = std::uint64_t{1} << bits;
    values.insert(values.end(), {power - 1, power, power + 1});
  }
  for (std::uint64_t power = 10; power <= UINT64_MAX / 10; power *= 10) {
    values.insert(values.end(), {power - 1, power, power + 1});
  }
  values.push_back(10000000000000000000ULL - 1);
  values.push_back(10000000000000000000ULL);
  for (const std::uint64_t value : values) {
    char expected[24];
    char text[24];
    const auto standard = std::to_chars(expected, expected + sizeof expected, value);
    EXPECT_EQ(std::string(text, put_unsigned(text, value)), std::string(expected, standard.ptr))
        << value;
  }
}

}  // namespace
}  // namespace vantril
