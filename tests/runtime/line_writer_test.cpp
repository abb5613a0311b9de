// The line writer over a scripted raw write that records every call it receives.
#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "runtime/command/standard_output.hpp"
#include "runtime/platform.hpp"

namespace vantril {
namespace {

// What the fake raw write does on one call; with an empty script it takes everything.
struct Step {
  enum Action { Take, TakeAtMost, TakeNothing, Fail } action = Take;
  std::size_t limit = 0;
  IoError error = IoError::from_kind(IoErrorKind::Other);
};

std::vector<std::string> calls;
std::deque<Step> script;

Result<std::size_t> fake_write(const char* data, std::size_t size) {
  calls.emplace_back(data, size);
  if (script.empty()) return size;
  const Step step = script.front();
  script.pop_front();
  switch (step.action) {
    case Step::Take:
      return size;
    case Step::TakeAtMost:
      return std::min(size, step.limit);
    case Step::TakeNothing:
      return std::size_t{0};
    case Step::Fail:
      return step.error;
  }
  return size;
}

Step take_at_most(std::size_t limit) { return Step{Step::TakeAtMost, limit, {}}; }
Step take_nothing() { return Step{Step::TakeNothing, 0, {}}; }
Step fail(IoError error) { return Step{Step::Fail, 0, std::move(error)}; }

class LineWriterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    calls.clear();
    script.clear();
  }
  // A fresh writer and a fresh record, for tests that go through several cases.
  void reset() {
    SetUp();
    writer.buffered = 0;
  }
  std::string buffered() const { return std::string(writer.buffer.data(), writer.buffered); }

  LineWriter writer{fake_write};
};

TEST_F(LineWriterTest, LineOnEmptyBufferGoesOutInOneWrite) {
  ASSERT_TRUE(line_writer_write(writer, "Successfully created clean.pdf\n").ok());
  EXPECT_EQ(calls, std::vector<std::string>{"Successfully created clean.pdf\n"});
  EXPECT_EQ(buffered(), "");
}

TEST_F(LineWriterTest, WritesUpToTheLastLineFeedAndKeepsTheRest) {
  // Each case starts from an empty writer: the bytes handed over one after another, the calls
  // the raw write must have seen, and what stays buffered.
  struct Case {
    std::vector<std::string> writes;
    std::vector<std::string> expected_calls;
    std::string expected_buffer;
  };
  const Case cases[] = {
      {{"partial"}, {}, "partial"},
      {{"one\ntwo\nthr"}, {"one\ntwo\n"}, "thr"},
      {{"abc", "def\ngh"}, {"abcdef\n"}, "gh"},
      {{"abc", "def", "\n"}, {"abcdef\n"}, ""},
      {{"a\n", "b\n"}, {"a\n", "b\n"}, ""},
  };
  for (const Case& c : cases) {
    reset();
    for (const std::string& bytes : c.writes) ASSERT_TRUE(line_writer_write(writer, bytes).ok());
    EXPECT_EQ(calls, c.expected_calls) << c.writes.front();
    EXPECT_EQ(buffered(), c.expected_buffer) << c.writes.front();
  }
}

TEST_F(LineWriterTest, CompleteBufferedLineGoesOutBeforeANewPartialLine) {
  ASSERT_TRUE(line_writer_write(writer, "ab").ok());
  script = {take_nothing()};
  // The flush of "ab" + "c\n" fails, so a complete line stays in the buffer.
  ASSERT_FALSE(line_writer_write(writer, "c\n").ok());
  ASSERT_EQ(buffered(), "abc\n");
  ASSERT_TRUE(line_writer_write(writer, "d").ok());
  EXPECT_EQ(calls, (std::vector<std::string>{"abc\n", "abc\n"}));
  EXPECT_EQ(buffered(), "d");
}

TEST_F(LineWriterTest, BytesThatDoNotFitFlushTheBufferFirst) {
  const std::string held(1000, 'a');
  struct Case {
    std::size_t size;
    std::vector<std::string> expected_calls;
    std::size_t expected_buffered;
  };
  const Case cases[] = {
      {24, {}, 1024},                             // fills the buffer exactly
      {25, {held}, 25},                           // flush, then buffered
      {1023, {held}, 1023},                       // flush, then still fits
      {1024, {held, std::string(1024, 'b')}, 0},  // flush, then written directly
      {5000, {held, std::string(5000, 'b')}, 0},
  };
  for (const Case& c : cases) {
    reset();
    ASSERT_TRUE(line_writer_write(writer, held).ok());
    ASSERT_TRUE(line_writer_write(writer, std::string(c.size, 'b')).ok());
    EXPECT_EQ(calls, c.expected_calls) << c.size;
    EXPECT_EQ(writer.buffered, c.expected_buffered) << c.size;
  }
}

TEST_F(LineWriterTest, PartialAcceptsAreFollowedUntilAllIsTaken) {
  script = {take_at_most(3), take_at_most(1)};
  ASSERT_TRUE(line_writer_write(writer, "hello\n").ok());
  EXPECT_EQ(calls, (std::vector<std::string>{"hello\n", "lo\n", "o\n"}));
}

TEST_F(LineWriterTest, ZeroBytesTakenIsWriteZero) {
  // Direct write: the line goes out without passing through the buffer.
  script = {take_nothing()};
  Status direct = line_writer_write(writer, "line\n");
  ASSERT_FALSE(direct.ok());
  EXPECT_EQ(debug_form(direct.error()),
            "Error { kind: WriteZero, message: \"failed to write whole buffer\" }");

  // Flush: two of four buffered bytes are taken, then none; the rest stays at the front.
  reset();
  ASSERT_TRUE(line_writer_write(writer, "abcd").ok());
  script = {take_at_most(2), take_nothing()};
  Status flushed = line_writer_flush(writer);
  ASSERT_FALSE(flushed.ok());
  EXPECT_EQ(debug_form(flushed.error()),
            "Error { kind: WriteZero, message: \"failed to write the buffered data\" }");
  EXPECT_EQ(buffered(), "cd");
}

TEST_F(LineWriterTest, InterruptedIsRetriedOtherErrorsPassUp) {
  script = {fail(IoError::from_kind(IoErrorKind::Interrupted))};
  ASSERT_TRUE(line_writer_write(writer, "x\n").ok());
  EXPECT_EQ(calls, (std::vector<std::string>{"x\n", "x\n"}));

  reset();
  ASSERT_TRUE(line_writer_write(writer, "abcd").ok());
  script = {fail(IoError::from_kind(IoErrorKind::Interrupted)), take_at_most(1),
            fail(IoError::from_kind(IoErrorKind::BrokenPipe))};
  Status flushed = line_writer_flush(writer);
  ASSERT_FALSE(flushed.ok());
  EXPECT_EQ(debug_form(flushed.error()), "Kind(BrokenPipe)");
  EXPECT_EQ(buffered(), "bcd");
}

TEST_F(LineWriterTest, MissingHandleCountsAsSuccessAndDropsTheBytes) {
  const IoError missing = IoError::from_os(os::invalid_handle_code());
  script = {fail(missing)};
  ASSERT_TRUE(line_writer_write(writer, "dropped\n").ok());
  EXPECT_EQ(calls.size(), 1u);

  reset();
  ASSERT_TRUE(line_writer_write(writer, "held").ok());
  script = {fail(missing)};
  ASSERT_TRUE(line_writer_flush(writer).ok());
  EXPECT_EQ(buffered(), "");
}

}  // namespace
}  // namespace vantril
