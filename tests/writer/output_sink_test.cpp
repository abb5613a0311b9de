// The counting sink and the 8192-byte buffered file writer, with the system write scripted.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "vantril/writer/buffered_file_writer.hpp"
#include "vantril/writer/counting_sink.hpp"
#include "vantril/writer/output_file.hpp"
#include "writer_test_support.hpp"

namespace vantril {
namespace {

using testing_support::has_message;
using testing_support::is_scripted;
using testing_support::ScriptedDestination;
using testing_support::WriteReply;

// Distinct bytes, so that a misplaced or repeated chunk shows.
std::string pattern(std::size_t size, char salt) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) {
    bytes[i] = static_cast<char>('!' + (i * 7 + static_cast<std::size_t>(salt)) % 90);
  }
  return bytes;
}

WriteReply accept(std::size_t count) { return WriteReply{count, false, {}}; }
WriteReply fail(IoError error) { return WriteReply{0, true, std::move(error)}; }

class BufferedFileWriterTest : public testing_support::ScriptedWriteTest {
 protected:
  OutputFile open_file() {
    const auto directory = testing_support::fresh_directory(
        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    Result<OutputFile> file = OutputFile::create((directory / "out.bin").string());
    EXPECT_TRUE(file.ok());
    return std::move(file).value();
  }
};

TEST(CountingSink, CountsBytesBeforeTheDestinationSeesThem) {
  ScriptedDestination destination;
  destination.fail_at = 2;
  CountingSink sink(destination.destination());
  EXPECT_EQ(sink.count, 0u);
  ASSERT_TRUE(sink.write_all("%PDF-1.7\n").ok());
  EXPECT_EQ(sink.count, 9u);
  EXPECT_FALSE(sink.write_all("abc").ok());
  EXPECT_EQ(sink.count, 12u);
  EXPECT_EQ(destination.received, "%PDF-1.7\n");

  std::string memory;
  CountingSink in_memory(memory);
  ASSERT_TRUE(in_memory.write_all("%PDF-1.7\n").ok());
  ASSERT_TRUE(in_memory.write_all("").ok());
  EXPECT_EQ(in_memory.count, 9u);
  EXPECT_EQ(memory, "%PDF-1.7\n");
}

// Each step: bytes to write, then the system writes expected (sizes) and what stays buffered.
struct BufferStep {
  std::size_t size;
  std::vector<std::size_t> system_writes;
  std::size_t buffered_after;
};

struct BufferScenario {
  const char* name;
  std::vector<BufferStep> steps;
};

TEST_F(BufferedFileWriterTest, SmallWritesAreBufferedAndLargeOnesBypassTheBuffer) {
  const std::vector<BufferScenario> scenarios = {
      {"filling the free space exactly does not flush",
       {{100, {}, 100}, {8092, {}, 8192}, {1, {8192}, 1}}},
      {"one byte more than the free space flushes first", {{100, {}, 100}, {8093, {100}, 8093}}},
      {"10000 bytes flush what is buffered, then go straight to the file",
       {{100, {}, 100}, {10000, {100, 10000}, 0}}},
      {"8192 bytes into an empty buffer go straight to the file", {{8192, {8192}, 0}}},
      {"8191 bytes into an empty buffer are buffered", {{8191, {}, 8191}, {0, {}, 8191}}},
  };
  for (const BufferScenario& scenario : scenarios) {
    SCOPED_TRACE(scenario.name);
    writes() = {};
    std::string expected_file;
    std::string written;
    {
      BufferedFileWriter writer(open_file());
      std::size_t calls_before = 0;
      char salt = 0;
      for (const BufferStep& step : scenario.steps) {
        const std::string bytes = pattern(step.size, salt++);
        written += bytes;
        ASSERT_TRUE(writer.write_all(bytes).ok());
        std::vector<std::size_t> sizes;
        for (std::size_t i = calls_before; i < writes().offered.size(); ++i) {
          sizes.push_back(writes().offered[i].size());
        }
        EXPECT_EQ(sizes, step.system_writes);
        calls_before = writes().offered.size();
        EXPECT_EQ(writer.buffered().size(), step.buffered_after);
        EXPECT_EQ(writes().accepted + std::string(writer.buffered()), written);
      }
      Result<OutputFile> file = writer.into_file();
      ASSERT_TRUE(file.ok());
      EXPECT_TRUE(file.value().is_open());
    }
    EXPECT_EQ(writes().accepted, written);
  }
}

TEST_F(BufferedFileWriterTest, PartialWritesContinueWhereTheSystemStopped) {
  const std::string big = pattern(20000, 3);
  writes().replies = {accept(4000), accept(1), accept(7000)};
  BufferedFileWriter writer(open_file());
  ASSERT_TRUE(writer.write_all(big).ok());
  ASSERT_EQ(writes().offered.size(), 4u);
  EXPECT_EQ(writes().offered[1], big.substr(4000));
  EXPECT_EQ(writes().offered[3], big.substr(11001));
  EXPECT_EQ(writes().accepted, big);
}

TEST_F(BufferedFileWriterTest, InterruptedWritesAreRetried) {
  const IoError interrupted = IoError::from_kind(IoErrorKind::Interrupted);
  const std::string small = pattern(300, 1);
  const std::string big = pattern(9000, 2);
  writes().replies = {fail(interrupted), fail(interrupted), accept(100), fail(interrupted),
                      accept(200),       fail(interrupted), accept(9000)};
  BufferedFileWriter writer(open_file());
  ASSERT_TRUE(writer.write_all(small).ok());
  ASSERT_TRUE(writer.write_all(big).ok());  // flushes the 300 bytes, then writes directly
  EXPECT_EQ(writes().offered.size(), 7u);
  EXPECT_EQ(writes().accepted, small + big);
}

TEST_F(BufferedFileWriterTest, AFlushTheSystemTakesNothingOfKeepsTheRestAtTheFront) {
  const std::string first = pattern(5000, 4);
  const std::string second = pattern(5000, 5);
  writes().replies = {accept(3000), accept(0)};
  {
    BufferedFileWriter writer(open_file());
    ASSERT_TRUE(writer.write_all(first).ok());
    const Status status = writer.write_all(second);
    ASSERT_FALSE(status.ok());
    EXPECT_TRUE(
        has_message(status.error(), IoErrorKind::WriteZero, "failed to write the buffered data"));
    EXPECT_EQ(writer.buffered(), first.substr(3000));
    EXPECT_EQ(writes().accepted, first.substr(0, 3000));
  }
  // Destroying the writer tried once more and got the rest out.
  EXPECT_EQ(writes().accepted, first);
}

TEST_F(BufferedFileWriterTest, ADirectWriteTheSystemTakesNothingOfFails) {
  const std::string big = pattern(8192, 6);
  writes().replies = {accept(8000), accept(0)};
  BufferedFileWriter writer(open_file());
  const Status status = writer.write_all(big);
  ASSERT_FALSE(status.ok());
  EXPECT_TRUE(has_message(status.error(), IoErrorKind::WriteZero, "failed to write whole buffer"));
  EXPECT_EQ(writes().offered.size(), 2u);
  EXPECT_TRUE(writer.buffered().empty());
}

TEST_F(BufferedFileWriterTest, OtherErrorsAreReturnedUnchangedWithoutRetry) {
  writes().replies = {fail(IoError::from_os(28))};
  BufferedFileWriter writer(open_file());
  const Status status = writer.write_all(pattern(9000, 7));
  ASSERT_FALSE(status.ok());
  const auto* os_error = std::get_if<IoError::Os>(&status.error().repr);
  ASSERT_NE(os_error, nullptr);
  EXPECT_EQ(os_error->code, 28);
  EXPECT_EQ(writes().offered.size(), 1u);
}

TEST_F(BufferedFileWriterTest, IntoFileReturnsTheFlushErrorAfterOneMoreAttempt) {
  const std::string bytes = pattern(700, 8);
  writes().replies = {fail(testing_support::scripted_error()), accept(200), accept(0)};
  BufferedFileWriter writer(open_file());
  ASSERT_TRUE(writer.write_all(bytes).ok());
  Result<OutputFile> file = writer.into_file();
  ASSERT_FALSE(file.ok());
  EXPECT_TRUE(is_scripted(file.error()));
  // The failed flush, then the release's own flush: 200 bytes taken, then nothing, and it gives
  // up without a word.
  ASSERT_EQ(writes().offered.size(), 3u);
  EXPECT_EQ(writes().offered[1], bytes);
  EXPECT_EQ(writes().offered[2], bytes.substr(200));
  EXPECT_EQ(writes().accepted, bytes.substr(0, 200));
}

}  // namespace
}  // namespace vantril
