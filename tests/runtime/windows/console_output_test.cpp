// Standard output on a real console that does not take UTF-8. There is no console under ctest,
// so these run (rather than skip) only when console_check.cmake starts the suite in a terminal;
// that script also checks what reached the screen.
#include <gtest/gtest.h>
#include <windows.h>

#include "runtime/command/standard_output.hpp"
#include "runtime/platform.hpp"

namespace vantril::os {
namespace {

class ConsoleOutput : public ::testing::Test {
 protected:
  void SetUp() override {
    DWORD mode = 0;
    if (!GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode)) {
      GTEST_SKIP() << "standard output is not a console";
    }
    if (GetConsoleOutputCP() == 65001) GTEST_SKIP() << "the console takes UTF-8 as it is";
  }
};

TEST_F(ConsoleOutput, CharactersSplitAcrossWritesArriveWhole) {
  // Through the line writer, so the short count for the held-back bytes is looped over too.
  ASSERT_TRUE(standard_output_write("console check: h\xC3\xA9llo \xE2\x82").ok());
  ASSERT_TRUE(standard_output_write("\xAC \xF0\x9F").ok());
  ASSERT_TRUE(standard_output_write("\x98\x80 end\n").ok());
}

TEST_F(ConsoleOutput, BytesThatAreNotUtf8AreRefused) {
  Result<std::size_t> written = write_standard_stream(StandardStream::Output, "\xFF\n", 2);
  ASSERT_FALSE(written.ok());
  const auto* error = std::get_if<IoError::KindWithMessage>(&written.error().repr);
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(error->kind, IoErrorKind::InvalidData);
  EXPECT_EQ(error->message,
            "Windows stdio in console mode does not support writing non-UTF-8 byte sequences");
}

}  // namespace
}  // namespace vantril::os
