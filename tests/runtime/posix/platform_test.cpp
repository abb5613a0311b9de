// The POSIX platform calls: creating the output file, the one-call writes, the write seam,
// SIGPIPE, and standard output and standard error over real descriptors.
#include "runtime/platform.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "runtime/command/process.hpp"
#include "runtime/command/standard_output.hpp"
#include "runtime/command/startup.hpp"
#include "runtime/posix/child_process.hpp"
#include "runtime/standard_error.hpp"

namespace vantril {
namespace {

namespace fs = std::filesystem;
using testing_support::bracketing_write;
using testing_support::run_in_child;

std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class OutputFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "vantril-runtime-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    directory = pattern;
  }
  void TearDown() override {
    std::error_code ignored;
    fs::permissions(directory, fs::perms::owner_all, ignored);
    fs::remove_all(directory, ignored);
  }

  fs::path directory;
};

TEST_F(OutputFileTest, CreatesOrEmptiesAndWrites) {
  const fs::path path = directory / "clean.pdf";
  std::ofstream(path) << "an older and much longer file than the new one";

  Result<os::NativeHandle> file = os::create_output_file(path.string());
  ASSERT_TRUE(file.ok()) << debug_form(file.error());
  EXPECT_EQ(read_file(path), "") << "an existing file is emptied at once";
  Result<std::size_t> written = os::write_handle(file.value(), "new", 3);
  ASSERT_TRUE(written.ok());
  EXPECT_EQ(written.value(), 3u);
  os::close_handle(file.value());
  EXPECT_EQ(read_file(path), "new");
}

TEST_F(OutputFileTest, RelativePathIsResolvedAgainstTheCurrentDirectory) {
  const fs::path before = fs::current_path();
  fs::current_path(directory);
  Result<os::NativeHandle> file = os::create_output_file("clean.pdf");
  fs::current_path(before);
  ASSERT_TRUE(file.ok());
  os::close_handle(file.value());
  EXPECT_TRUE(fs::exists(directory / "clean.pdf"));
}

TEST_F(OutputFileTest, FailuresAndTheirErrors) {
  fs::create_directory(directory / "a directory");
  struct Case {
    std::string path;
    std::string debug;
  };
  const Case cases[] = {
      {(directory / "a directory").string(),
       "Os { code: 21, kind: IsADirectory, message: \"Is a directory\" }"},
      {(directory / "missing" / "clean.pdf").string(),
       "Os { code: 2, kind: NotFound, message: \"No such file or directory\" }"},
      {(directory / std::string("clean\0.pdf", 10)).string(),
       "Error { kind: InvalidInput, message: \"file name contained an unexpected NUL byte\" }"},
  };
  for (const Case& c : cases) {
    Result<os::NativeHandle> file = os::create_output_file(c.path);
    ASSERT_FALSE(file.ok()) << c.path;
    EXPECT_EQ(debug_form(file.error()), c.debug);
  }
  EXPECT_FALSE(fs::exists(directory / "clean")) << "a path with a NUL touches nothing";
}

TEST_F(OutputFileTest, ReadOnlyDirectoryIsPermissionDenied) {
  if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind the superuser";
  fs::permissions(directory, fs::perms::owner_read | fs::perms::owner_exec);
  Result<os::NativeHandle> file = os::create_output_file((directory / "clean.pdf").string());
  ASSERT_FALSE(file.ok());
  EXPECT_EQ(debug_form(file.error()),
            "Os { code: 13, kind: PermissionDenied, message: \"Permission denied\" }");
}

TEST(HandleWrite, ClosedDescriptorIsBadDescriptor) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  ::close(fds[0]);
  ::close(fds[1]);
  Result<std::size_t> written = os::write_handle(fds[1], "x", 1);
  ASSERT_FALSE(written.ok());
  EXPECT_EQ(debug_form(written.error()),
            "Os { code: 9, kind: Uncategorized, message: \"Bad file descriptor\" }");
}

// Records what the seam was asked to write, and accepts it all.
struct SeamCall {
  os::NativeHandle handle;
  std::size_t size;
};
std::vector<SeamCall> seam_calls;

Result<std::size_t> recording_seam(os::NativeHandle handle, const char*, std::size_t size) {
  seam_calls.push_back({handle, size});
  return size;
}

class WriteSeamTest : public ::testing::Test {
 protected:
  void SetUp() override {
    seam_calls.clear();
    os::set_write_seam(recording_seam);
  }
  void TearDown() override { os::set_write_seam(nullptr); }
};

TEST_F(WriteSeamTest, StandsInForTheSystemWrite) {
  const char byte = 'x';
  // A request beyond what one write(2) takes is cut to that; the seam never reads the bytes.
  ASSERT_TRUE(os::write_handle(42, &byte, std::size_t{0x80000000}).ok());
  ASSERT_TRUE(os::write_standard_stream(os::StandardStream::Output, &byte, 1).ok());
  ASSERT_TRUE(os::write_standard_stream(os::StandardStream::Error, &byte, 1).ok());
  // An empty standard stream write reaches nobody.
  ASSERT_TRUE(os::write_standard_stream(os::StandardStream::Error, &byte, 0).ok());
  ASSERT_EQ(seam_calls.size(), 3u);
  EXPECT_EQ(seam_calls[0].handle, 42);
  EXPECT_EQ(seam_calls[0].size, 0x7ffff000u);
  EXPECT_EQ(seam_calls[1].handle, STDOUT_FILENO);
  EXPECT_EQ(seam_calls[2].handle, STDERR_FILENO);
}

TEST(ProcessEntry, VanishedReaderIsBrokenPipeNotDeath) {
  const auto child = run_in_child([] {
    os::initialize_process();
    int fds[2];
    if (::pipe(fds) != 0) ::_exit(2);
    ::close(fds[0]);
    Result<std::size_t> written = os::write_handle(fds[1], "x", 1);
    ::_exit(!written.ok() && kind_of(written.error()) == IoErrorKind::BrokenPipe ? 0 : 1);
  });
  EXPECT_FALSE(child.killed) << "signal " << child.signal;
  EXPECT_EQ(child.exit_status, 0);
}

TEST(ProcessEntry, RunsTheCommandFlushesAndReturnsZero) {
  const auto child = run_in_child([] {
    os::set_write_seam(bracketing_write);
    ::_exit(process_entry([] {
      if (!standard_output_write("Successfully created clean.pdf\n").ok()) ::_exit(1);
      if (!standard_output_write("left in the buffer").ok()) ::_exit(1);
    }));
  });
  EXPECT_FALSE(child.killed);
  EXPECT_EQ(child.exit_status, 0);
  EXPECT_EQ(child.standard_output, "[Successfully created clean.pdf\n][left in the buffer]");
  EXPECT_EQ(child.standard_error, "");
}

TEST(StandardOutput, ClosedStandardOutputSwallowsTheLine) {
  const auto child = run_in_child([] {
    ::close(STDOUT_FILENO);
    ::_exit(standard_output_write("Successfully created clean.pdf\n").ok() ? 0 : 1);
  });
  EXPECT_EQ(child.exit_status, 0);
}

// Takes at most three bytes per call, and fails with an I/O error after the given count.
Result<std::size_t> trickling_write(os::NativeHandle handle, const char* data, std::size_t size) {
  static int calls = 0;
  if (++calls > 4) return IoError::from_os(EIO);
  const ssize_t written = ::write(static_cast<int>(handle), data, std::min<std::size_t>(size, 3));
  if (written < 0) return IoError::from_os(errno);
  return static_cast<std::size_t>(written);
}

TEST(StandardError, FollowsPartialWritesAndIgnoresErrors) {
  const auto child = run_in_child([] {
    os::set_write_seam(trickling_write);
    standard_error_write("abcdefghij");  // four calls take it all
    standard_error_write("lost");        // fails, and returns
    ::_exit(0);
  });
  EXPECT_EQ(child.exit_status, 0);
  EXPECT_EQ(child.standard_error, "abcdefghij");
}

TEST(ProcessServices, ThreadIdAndSeeds) {
  // The test runner's main thread is the one whose id is the process id.
  EXPECT_EQ(os::current_thread_id(), static_cast<std::uint64_t>(::getpid()));
  // Equal seeds from two calls would mean a constant, not the system's random source.
  EXPECT_NE(os::random_seed(), os::random_seed());
}

}  // namespace
}  // namespace vantril
