// The raw standard-stream write on Windows, with the standard handle swapped for the test.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "runtime/platform.hpp"
#include "runtime/windows/scratch_directory.hpp"

namespace vantril::os {
namespace {

using testing_support::read_file;
using testing_support::ScratchDirectory;

// Replaces the process's standard output handle for one test. GoogleTest's own output goes
// through the C runtime's descriptor, which keeps the handle it was started with.
class StandardOutputReplaced : public ::testing::Test {
 protected:
  void SetUp() override { original_ = GetStdHandle(STD_OUTPUT_HANDLE); }
  void TearDown() override { SetStdHandle(STD_OUTPUT_HANDLE, original_); }

  HANDLE original_ = nullptr;
};

TEST_F(StandardOutputReplaced, FileOrPipeGetsTheBytesUnchanged) {
  ScratchDirectory scratch;
  HANDLE file = CreateFileW(scratch.file(L"stdout.txt").c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                            nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  ASSERT_TRUE(SetStdHandle(STD_OUTPUT_HANDLE, file));
  // Not UTF-8 at all: only a console needs UTF-8, files take any bytes.
  const std::string bytes = "r\xC3\xA9sum\xC3\xA9 \xFF\xFE\n";
  Result<std::size_t> written =
      write_standard_stream(StandardStream::Output, bytes.data(), bytes.size());
  SetStdHandle(STD_OUTPUT_HANDLE, original_);
  CloseHandle(file);
  ASSERT_TRUE(written.ok()) << debug_form(written.error());
  EXPECT_EQ(written.value(), bytes.size());
  EXPECT_EQ(read_file(scratch.file(L"stdout.txt")), bytes);
}

TEST_F(StandardOutputReplaced, MissingHandleIsTheInvalidHandleCode) {
  ASSERT_TRUE(SetStdHandle(STD_OUTPUT_HANDLE, nullptr));
  Result<std::size_t> written = write_standard_stream(StandardStream::Output, "x\n", 2);
  ASSERT_FALSE(written.ok());
  const auto* os_error = std::get_if<IoError::Os>(&written.error().repr);
  ASSERT_NE(os_error, nullptr);
  EXPECT_EQ(os_error->code, invalid_handle_code());
  EXPECT_EQ(invalid_handle_code(), 6);  // ERROR_INVALID_HANDLE
}

TEST_F(StandardOutputReplaced, NothingToWriteTouchesNoHandle) {
  ASSERT_TRUE(SetStdHandle(STD_OUTPUT_HANDLE, nullptr));
  Result<std::size_t> written = write_standard_stream(StandardStream::Output, "", 0);
  ASSERT_TRUE(written.ok());
  EXPECT_EQ(written.value(), 0u);
}

TEST_F(StandardOutputReplaced, BrokenPipeIsAnOsError) {
  HANDLE reader = nullptr;
  HANDLE writer = nullptr;
  ASSERT_TRUE(CreatePipe(&reader, &writer, nullptr, 0));
  CloseHandle(reader);
  ASSERT_TRUE(SetStdHandle(STD_OUTPUT_HANDLE, writer));
  Result<std::size_t> written = write_standard_stream(StandardStream::Output, "x\n", 2);
  SetStdHandle(STD_OUTPUT_HANDLE, original_);
  CloseHandle(writer);
  ASSERT_FALSE(written.ok());
  const auto* os_error = std::get_if<IoError::Os>(&written.error().repr);
  ASSERT_NE(os_error, nullptr);
  // Windows reports 232 (the pipe is being closed), Wine 233 (no process on the other end).
  EXPECT_TRUE(os_error->code == 232 || os_error->code == 233) << os_error->code;
}

}  // namespace
}  // namespace vantril::os
