// Byte strings across the boundary between inline and heap storage.
#include "vantril/model/bytes.hpp"

#include <gtest/gtest.h>

#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace vantril {
namespace {

// Contents at and around the inline capacity, empty, and with NUL and high bytes.
std::vector<std::string> samples() {
  std::vector<std::string> texts = {"", "A", std::string("\0\xFF", 2)};
  for (std::size_t size : {14u, 15u, 16u, 17u, 100u}) {
    std::string text;
    for (std::size_t i = 0; i < size; ++i) text.push_back(static_cast<char>(i * 37));
    texts.push_back(text);
  }
  return texts;
}

TEST(Bytes, KeepEveryByteThroughCopyMoveAndAssignment) {
  for (const std::string& text : samples()) {
    SCOPED_TRACE("size " + std::to_string(text.size()));
    const Bytes original(text);
    EXPECT_EQ(original, text);
    EXPECT_EQ(original.size(), text.size());

    Bytes copy(original);
    EXPECT_EQ(copy, text);
    Bytes moved(std::move(copy));
    EXPECT_EQ(moved, text);
    EXPECT_TRUE(copy.empty());  // NOLINT(bugprone-use-after-move): a moved-from value is empty

    for (const std::string& other : samples()) {
      Bytes target(other);
      target = original;
      EXPECT_EQ(target, text);
      Bytes move_target(other);
      move_target = Bytes(text);
      EXPECT_EQ(move_target, text);
    }
  }
}

TEST(Bytes, AppendGrowsAcrossTheInlineLimitWithoutLosingBytes) {
  for (const std::string& start : samples()) {
    for (const std::string& piece : samples()) {
      Bytes bytes(start);
      bytes.append(piece);
      bytes.push_back('#');
      EXPECT_EQ(bytes, start + piece + "#");
    }
  }
  Bytes many;
  std::string expected;
  for (int i = 0; i < 1000; ++i) {
    many.push_back(static_cast<char>(i));
    expected.push_back(static_cast<char>(i));
  }
  EXPECT_EQ(many, expected);
}

TEST(Bytes, FilledAndReservedContents) {
  EXPECT_EQ(Bytes(3, 'x'), "xxx");
  EXPECT_EQ(Bytes(40, '\0'), std::string(40, '\0'));
  Bytes reserved("abc");
  reserved.reserve(1000);
  EXPECT_GE(reserved.capacity(), 1000u);
  EXPECT_EQ(reserved, "abc");
}

// A literal keeps every byte before its final NUL, and compares that way; a bare pointer, whose
// length could only be guessed from its first NUL, does not convert at all.
TEST(Bytes, LiteralsKeepTheirEmbeddedNulBytes) {
  static_assert(!std::is_convertible_v<const char*, Bytes>);
  const Bytes utf16 = "\xFE\xFF\x00J\x00o";
  EXPECT_EQ(utf16.size(), 6u);
  EXPECT_EQ(std::string(utf16), std::string("\xFE\xFF\x00J\x00o", 6));
  EXPECT_TRUE(utf16 == "\xFE\xFF\x00J\x00o");
  EXPECT_FALSE(utf16 == "\xFE\xFF");
  const Bytes long_one = "0123456789abcdef\x00tail";  // past the inline capacity
  EXPECT_EQ(long_one.size(), 21u);
  EXPECT_EQ(std::string_view(long_one).substr(17), "tail");
}

}  // namespace
}  // namespace vantril
