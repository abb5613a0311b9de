// The one UTF-8 test, against its definition: bytes are well-formed exactly when they are a
// run of encodings of scalar values (not a surrogate, at most U+10FFFF). The oracle decodes by the
// bit patterns alone and encodes back with the content layer's encoder, so an overlong form, a
// surrogate or a value past U+10FFFF is told apart without the ranges the code under test uses.
#include "content/utf8.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>

#include "runtime/utf8.hpp"

namespace vantril {
namespace {

// The length of the character the lead byte's bit pattern announces, or 0 for a continuation
// byte or 11111xxx.
std::size_t patterned_length(unsigned char lead) {
  if (lead < 0x80) return 1;
  if ((lead & 0xE0u) == 0xC0u) return 2;
  if ((lead & 0xF0u) == 0xE0u) return 3;
  if ((lead & 0xF8u) == 0xF0u) return 4;
  return 0;
}

// The scalar value the bytes at `position` encode when they start with one character's
// canonical encoding, and its length.
std::optional<Utf8Char> oracle(const std::string& bytes, std::size_t position) {
  const auto lead = static_cast<unsigned char>(bytes[position]);
  const std::size_t length = patterned_length(lead);
  if (length == 0 || bytes.size() - position < length) return std::nullopt;
  std::uint32_t value = lead & (0x7Fu >> (length == 1 ? 0 : length));
  for (std::size_t i = 1; i < length; ++i) {
    const auto next = static_cast<unsigned char>(bytes[position + i]);
    if ((next & 0xC0u) != 0x80u) return std::nullopt;
    value = (value << 6) | (next & 0x3Fu);
  }
  if (value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return std::nullopt;
  if (utf8_of(value) != bytes.substr(position, length)) return std::nullopt;  // overlong
  return Utf8Char{value, position, length};
}

bool oracle_valid(const std::string& bytes) {
  for (std::size_t position = 0; position < bytes.size();) {
    const std::optional<Utf8Char> c = oracle(bytes, position);
    if (!c) return false;
    position += c->length;
  }
  return true;
}

bool agrees(const std::string& bytes) {
  const std::optional<Utf8Char> first = oracle(bytes, 0);
  Utf8Char decoded{};
  const bool decodes = decode_utf8(bytes, 0, decoded);
  const bool same =
      is_valid_utf8(bytes) == oracle_valid(bytes) &&
      utf8_character_length(bytes, 0) == (first ? first->length : 0) &&
      decodes == first.has_value() &&
      (!decodes || (decoded.code_point == first->code_point && decoded.length == first->length));
  EXPECT_TRUE(same) << testing::PrintToString(bytes);
  return same;
}

// Every string of one to three bytes, and four-byte strings with every lead and second byte and
// the edges of the last two; the first two bytes carry every range the test distinguishes.
TEST(Utf8, AgreesWithTheEncodingOnEveryShortSequence) {
  for (unsigned a = 0; a < 256; ++a) {
    const char first = static_cast<char>(a);
    ASSERT_TRUE(agrees(std::string(1, first)));
    for (unsigned b = 0; b < 256; ++b) {
      const char second = static_cast<char>(b);
      ASSERT_TRUE(agrees({first, second}));
      for (unsigned c = 0; c < 256; ++c) ASSERT_TRUE(agrees({first, second, static_cast<char>(c)}));
      for (const unsigned c : {0x7Fu, 0x80u, 0xBFu, 0xC0u}) {
        for (const unsigned d : {0x7Fu, 0x80u, 0xBFu, 0xC0u}) {
          ASSERT_TRUE(agrees({first, second, static_cast<char>(c), static_cast<char>(d)}));
        }
      }
    }
  }
}

// A character cut short by the end is not one, wherever it stands.
TEST(Utf8, ACharacterCutShortIsNotValid) {
  const std::string text = "a\xF0\x9F\x98\x80";
  EXPECT_TRUE(is_valid_utf8(text));
  for (std::size_t end = 2; end < text.size(); ++end) {
    EXPECT_FALSE(is_valid_utf8(text.substr(0, end))) << end;
    EXPECT_EQ(utf8_character_length(text.substr(0, end), 1), 0u) << end;
  }
}

}  // namespace
}  // namespace vantril
