// Dictionary keys across the boundary between inline and heap storage.
#include "vantril/model/key.hpp"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace vantril {
namespace {

// Every length from empty to well past the inline capacity, with NUL and high bytes, and pairs
// that differ only in their first or last byte.
std::vector<std::string> samples() {
  std::vector<std::string> texts;
  for (std::size_t size = 0; size <= 20; ++size) {
    std::string text;
    for (std::size_t i = 0; i < size; ++i) text.push_back(static_cast<char>(i * 37));
    texts.push_back(text);
    if (size == 0) continue;
    text.back() = static_cast<char>(text.back() ^ 0x80);
    texts.push_back(text);
    text.front() = '\xFF';
    texts.push_back(text);
  }
  return texts;
}

TEST(Key, KeepsEveryByteAndComparesByBytesThroughCopyMoveAndAssignment) {
  const std::vector<std::string> texts = samples();
  for (const std::string& text : texts) {
    SCOPED_TRACE("size " + std::to_string(text.size()));
    const Key original(text);
    EXPECT_EQ(std::string_view(original), text);
    EXPECT_EQ(original.size(), text.size());

    Key copy(original);
    EXPECT_EQ(copy, original);
    Key moved(std::move(copy));
    EXPECT_EQ(std::string_view(moved), text);
    EXPECT_TRUE(copy.empty());  // NOLINT(bugprone-use-after-move): a moved-from key is empty

    for (const std::string& other : texts) {
      // Equality follows the bytes alone, whichever way each key is held.
      EXPECT_EQ(Key(other) == original, other == text) << other.size();
      Key target(other);
      target = original;
      EXPECT_EQ(std::string_view(target), text);
      Key move_target(other);
      move_target = Key(text);
      EXPECT_EQ(std::string_view(move_target), text);
    }
  }
}

}  // namespace
}  // namespace vantril
