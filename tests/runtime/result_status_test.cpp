// A Result's status() lets a function of another result type pass its error on with VANTRIL_TRY,
// leaving a move-only value where it is.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "vantril/error.hpp"

namespace vantril {
namespace {

Result<std::unique_ptr<int>> made(bool succeed) {
  if (!succeed) return IoError::with_message(IoErrorKind::NotFound, "nothing there");
  return std::make_unique<int>(7);
}

// A function returning Status over a Result of a move-only value: the value must stay.
Status check(const Result<std::unique_ptr<int>>& result) {
  VANTRIL_TRY(result.status());
  return {};
}

TEST(ResultStatus, PassesTheErrorOnAndLeavesTheValue) {
  for (const bool succeed : {true, false}) {
    SCOPED_TRACE(succeed);
    Result<std::unique_ptr<int>> result = made(succeed);
    const Status status = check(result);
    EXPECT_EQ(status.ok(), succeed);
    if (succeed) {
      ASSERT_NE(result.value(), nullptr);
      EXPECT_EQ(*result.value(), 7);
    } else {
      EXPECT_EQ(display_form(status.error()), "nothing there");
      // The moving form hands the error over too.
      const Status moved = std::move(result).status();
      ASSERT_FALSE(moved.ok());
      EXPECT_EQ(kind_of(moved.error()), IoErrorKind::NotFound);
    }
    EXPECT_EQ(status.status().ok(), succeed);
  }
}

}  // namespace
}  // namespace vantril
