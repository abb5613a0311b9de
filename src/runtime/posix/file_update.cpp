// POSIX calls for updating an existing file in place: opening it for reading and writing, its
// size, positional reads and writes, and cutting it back to a length.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <limits>
#include <string>

#include "runtime/invalid_input.hpp"
#include "runtime/platform.hpp"

namespace vantril::os {
namespace {

// As in write_handle: one call never asks for more than Linux moves at once.
constexpr std::size_t max_transfer_size = 0x7ffff000;

int descriptor(NativeHandle handle) { return static_cast<int>(handle); }

// An offset beyond off_t's range cannot name a position in any file this system can hold.
bool offset_fits(std::uint64_t offset) {
  return offset <= static_cast<std::uint64_t>(std::numeric_limits<off_t>::max());
}

IoError offset_too_large() { return invalid_input("file offset out of range"); }

}  // namespace

Result<NativeHandle> open_file_for_update(std::string_view path) {
  if (path.find('\0') != std::string_view::npos) {
    return invalid_input("file name contained an unexpected NUL byte");
  }
  const std::string c_path(path);
  for (;;) {
    const int fd = ::open(c_path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd >= 0) return static_cast<NativeHandle>(fd);
    if (errno != EINTR) return IoError::from_os(errno);
  }
}

Result<std::uint64_t> file_size(NativeHandle handle) {
  struct stat status {};
  if (::fstat(descriptor(handle), &status) != 0) return IoError::from_os(errno);
  return static_cast<std::uint64_t>(status.st_size);
}

Result<std::size_t> read_at(NativeHandle handle, std::uint64_t offset, char* data,
                            std::size_t size) {
  if (!offset_fits(offset)) return offset_too_large();
  for (;;) {
    const ssize_t read = ::pread(descriptor(handle), data, std::min(size, max_transfer_size),
                                 static_cast<off_t>(offset));
    if (read >= 0) return static_cast<std::size_t>(read);
    if (errno != EINTR) return IoError::from_os(errno);
  }
}

Result<std::size_t> write_at(NativeHandle handle, std::uint64_t offset, const char* data,
                             std::size_t size) {
  if (!offset_fits(offset)) return offset_too_large();
  const ssize_t written = ::pwrite(descriptor(handle), data, std::min(size, max_transfer_size),
                                   static_cast<off_t>(offset));
  if (written < 0) return IoError::from_os(errno);
  return static_cast<std::size_t>(written);
}

Status set_file_length(NativeHandle handle, std::uint64_t length) {
  if (!offset_fits(length)) return offset_too_large();
  for (;;) {
    if (::ftruncate(descriptor(handle), static_cast<off_t>(length)) == 0) return {};
    if (errno != EINTR) return IoError::from_os(errno);
  }
}

}  // namespace vantril::os
