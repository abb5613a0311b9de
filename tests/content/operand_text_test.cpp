// A content stream's real operands are the serializer's own float text: the cheaper conversion
// the builder takes agrees with put_real on every float it is given.
#include "content/operand_text.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <random>
#include <string>

#include "writer/number_text.hpp"

namespace vantril {
namespace {

std::string serializer_text(float value) {
  char text[max_real_text];
  return std::string(text, put_real(text, value));
}

std::string operand_text(float value) {
  char text[max_real_text];
  return std::string(text, put_operand(text, value));
}

TEST(OperandText, MatchesTheSerializersRealTextForEveryFloatTried) {
  // Every float of a few whole binades around page coordinates and unit values, then random bit
  // patterns over the whole range, then the edges of the fast paths.
  std::size_t checked = 0;
  for (const float low : {0.5f, 256.0f, 8388608.0f}) {
    const std::uint32_t first = std::bit_cast<std::uint32_t>(low);
    for (std::uint32_t bits = first; bits < first + (1u << 23); bits += 29) {
      const float value = std::bit_cast<float>(bits);
      ASSERT_EQ(operand_text(value), serializer_text(value)) << bits;
      ASSERT_EQ(operand_text(-value), serializer_text(-value)) << bits;
      checked += 2;
    }
  }
  std::mt19937 random(12);
  for (int i = 0; i < 500000; ++i) {
    const float value = std::bit_cast<float>(static_cast<std::uint32_t>(random()));
    if (value != value) continue;
    ASSERT_EQ(operand_text(value), serializer_text(value)) << std::bit_cast<std::uint32_t>(value);
    ++checked;
  }
  for (const float value : {0.0f, -0.0f, 1.0f, -1.0f, 16777215.0f, 16777216.0f, 16777218.0f,
                            -16777215.0f, 123456792.0f, 1e-5f, 1e-7f, 0.1f, 1e20f}) {
    EXPECT_EQ(operand_text(value), serializer_text(value)) << value;
  }
  EXPECT_GT(checked, 1000000u);
}

}  // namespace
}  // namespace vantril
