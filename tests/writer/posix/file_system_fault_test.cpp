// Saves through real files while the system misbehaves: short writes and interruptions passed
// through to the real write, a full device, and a file system that fills up mid-file.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

#include "bin/vantril/clean_document.hpp"
#include "vantril/writer/save.hpp"
#include "writer/writer_test_support.hpp"

namespace vantril {
namespace {

namespace fs = std::filesystem;

// The clean document with enough added to pass the 8192-byte buffer several times over, and a
// stream large enough to bypass it.
Document large_document() {
  Document document = build_clean_document();
  for (int i = 0; i < 40; ++i)
    append_object(document, literal_string(std::string(700, static_cast<char>('a' + i % 26))));
  append_object(document, make_stream(Dictionary(), Bytes(std::string(20000, 'z'))));
  return document;
}

std::string in_memory(Document document) {
  std::string out;
  CountingSink sink(out);
  EXPECT_TRUE(write_document(document, sink).ok());
  return out;
}

std::size_t entries_in(const fs::path& directory) {
  return static_cast<std::size_t>(
      std::distance(fs::directory_iterator(directory), fs::directory_iterator()));
}

class FileSystemFault : public ::testing::Test {
 protected:
  void TearDown() override { os::set_write_seam(nullptr); }
};

// Every third call is interrupted before writing; the others write at most 1000 bytes for real.
int calls = 0;
Result<std::size_t> short_and_interrupted(os::NativeHandle handle, const char* data,
                                          std::size_t size) {
  if (++calls % 3 == 0) return IoError::from_os(EINTR);
  const ssize_t written =
      ::write(static_cast<int>(handle), data, std::min<std::size_t>(size, 1000));
  if (written < 0) return IoError::from_os(errno);
  return static_cast<std::size_t>(written);
}

TEST_F(FileSystemFault, ShortAndInterruptedWritesStillGiveTheWholeFile) {
  const fs::path directory = testing_support::fresh_directory("short-writes");
  calls = 0;
  os::set_write_seam(&short_and_interrupted);
  Document document = large_document();
  Result<OutputFile> file = save_to_path(document, (directory / "out.pdf").string());
  ASSERT_TRUE(file.ok());
  { OutputFile closed = std::move(file).value(); }
  os::set_write_seam(nullptr);
  EXPECT_GT(calls, 60);
  EXPECT_EQ(testing_support::read_file(directory / "out.pdf"), in_memory(large_document()));
}

TEST_F(FileSystemFault, AFullDeviceGivesStorageFull) {
  const fs::path directory = testing_support::fresh_directory("dev-full");
  fs::create_symlink("/dev/full", directory / "clean.pdf");
  Document document = large_document();
  const Result<OutputFile> file = save_to_path(document, (directory / "clean.pdf").string());
  ASSERT_FALSE(file.ok());
  EXPECT_EQ(debug_form(file.error()),
            "Os { code: 28, kind: StorageFull, message: \"No space left on device\" }");
  EXPECT_EQ(entries_in(directory), 1u);
  EXPECT_TRUE(fs::is_symlink(directory / "clean.pdf"));
}

// A 16 KiB tmpfs takes the first buffers and refuses the rest: the bytes that reached it stay, a
// prefix of the document, and nothing else is created. Needs root to mount.
TEST_F(FileSystemFault, AFileSystemFillingUpMidFileKeepsWhatReachedIt) {
  if (geteuid() != 0) GTEST_SKIP() << "mounting a tmpfs needs root";
  const fs::path directory = testing_support::fresh_directory("tmpfs-full");
  if (::mount("tmpfs", directory.c_str(), "tmpfs", 0, "size=16k") != 0) {
    GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
  }
  Document document = large_document();
  const Result<OutputFile> file = save_to_path(document, (directory / "clean.pdf").string());
  const std::string kept = testing_support::read_file(directory / "clean.pdf");
  const std::size_t entries = entries_in(directory);
  ASSERT_EQ(::umount(directory.c_str()), 0);
  ASSERT_FALSE(file.ok());
  EXPECT_EQ(debug_form(file.error()),
            "Os { code: 28, kind: StorageFull, message: \"No space left on device\" }");
  EXPECT_GE(kept.size(), BufferedFileWriter::capacity);
  EXPECT_LE(kept.size(), 16384u);
  EXPECT_EQ(kept, in_memory(large_document()).substr(0, kept.size()));
  EXPECT_EQ(entries, 1u);
}

}  // namespace
}  // namespace vantril
