// The word-at-a-time forms of names, literal strings and small integers against one-byte-at-a-time
// references written from the rules themselves, on every short input and many random ones.
#include "writer/token_text.hpp"

#include <gtest/gtest.h>

#include <charconv>
#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace vantril {
namespace {

bool reference_needs_escape(unsigned char byte) {
  return byte < 0x21 || byte > 0x7E ||
         std::string_view("()<>[]{}/%#").find(static_cast<char>(byte)) != std::string_view::npos;
}

// "/" and the bytes, or empty when a byte needs an escape.
std::string reference_plain_name(std::string_view bytes) {
  for (const char c : bytes) {
    if (reference_needs_escape(static_cast<unsigned char>(c))) return {};
  }
  // Appended: g++ 12 at -O3 warns falsely (-Wrestrict) about the copy inside "/" + std::string.
  std::string name = "/";
  name.append(bytes);
  return name;
}

// The form put_plain_name gives, formed between canaries that it must leave alone, from a copy
// of the bytes held exactly in their own allocation (so that a read past them is caught by the
// sanitizers).
std::string formed_plain_name(std::string_view bytes) {
  const std::vector<char> held(bytes.begin(), bytes.end());
  std::string area(bytes.size() + 17, '~');
  char* const start = area.data() + 8;
  char* const end = put_plain_name(start, std::string_view(held.data(), held.size()));
  EXPECT_EQ(area.substr(0, 8), "~~~~~~~~");
  EXPECT_EQ(area.substr(9 + bytes.size()), "~~~~~~~~");
  if (end == nullptr) return {};
  EXPECT_EQ(end, start + 1 + bytes.size());
  return std::string(start, end);
}

TEST(NameText, PlainFormMatchesTheByteByByteRuleOnEveryShortName) {
  for (int first = 0; first < 256; ++first) {
    const std::string one(1, static_cast<char>(first));
    EXPECT_EQ(formed_plain_name(one), reference_plain_name(one)) << first;
    // Each byte at every place of names of one to nine bytes, among letters.
    for (std::size_t size = 2; size <= 9; ++size) {
      for (std::size_t at = 0; at < size; ++at) {
        std::string name(size, 'a');
        name[at] = static_cast<char>(first);
        EXPECT_EQ(formed_plain_name(name), reference_plain_name(name)) << first << " at " << at;
      }
    }
  }
  EXPECT_EQ(formed_plain_name(""), "/");
}

TEST(NameText, PlainFormMatchesTheByteByByteRuleOnRandomNames) {
  std::mt19937 random(2024);
  std::uniform_int_distribution<int> length(0, 40);
  std::uniform_int_distribution<int> any_byte(0, 255);
  std::uniform_int_distribution<int> letter('A', 'z');
  std::uniform_int_distribution<int> rare(0, 63);
  int plain = 0;
  for (int round = 0; round < 20000; ++round) {
    std::string name(static_cast<std::size_t>(length(random)), ' ');
    // Mostly letters and the punctuation between them, now and then any byte: about half the
    // names come out plain.
    for (char& c : name)
      c = static_cast<char>(rare(random) == 0 ? any_byte(random) : letter(random));
    const std::string expected = reference_plain_name(name);
    EXPECT_EQ(formed_plain_name(name), expected) << name;
    plain += expected.empty() ? 0 : 1;
  }
  EXPECT_GT(plain, 2000);
  EXPECT_LT(plain, 18000);
}

TEST(LiteralText, PlainFormCopiesEveryLengthExactly) {
  for (std::size_t size = 0; size <= 40; ++size) {
    std::string bytes;
    for (std::size_t i = 0; i < size; ++i) bytes.push_back(static_cast<char>('a' + i % 26));
    const std::vector<char> held(bytes.begin(), bytes.end());
    std::string area(size + 18, '~');
    char* const end = put_plain_literal(area.data() + 8, std::string_view(held.data(), size));
    ASSERT_NE(end, nullptr);
    std::string expected = "~~~~~~~~(";
    expected.append(bytes).append(")~~~~~~~~");
    EXPECT_EQ(area, expected) << size;
    EXPECT_EQ(end, area.data() + 10 + size);
  }
}

// Every integer of up to six digits and its negative, past the shortcuts for small values.
TEST(IntegerText, MatchesTheStandardConversionForEverySmallValue) {
  for (std::int64_t value = -1000000; value <= 1000000; ++value) {
    char expected[24];
    char text[24];
    const auto standard = std::to_chars(expected, expected + sizeof expected, value);
    ASSERT_EQ(std::string(text, put_integer(text, value)), std::string(expected, standard.ptr));
  }
}

}  // namespace
}  // namespace vantril
