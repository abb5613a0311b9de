// POSIX file and standard-stream handles: creating the output file, the one-call write used by
// the output file and the standard streams, closing, and the write seam for tests.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>

#include "runtime/invalid_input.hpp"
#include "runtime/platform.hpp"

namespace vantril::os {
namespace {

// The most one write(2) call moves on Linux; larger requests would be shortened anyway, and
// keeping below it avoids the implementation-defined behaviour of counts above SSIZE_MAX.
constexpr std::size_t max_write_size = 0x7ffff000;

std::atomic<WriteSeam> write_seam{nullptr};

Result<std::size_t> write_once(NativeHandle handle, const char* data, std::size_t size) {
  const std::size_t count = std::min(size, max_write_size);
  if (WriteSeam seam = write_seam.load(std::memory_order_acquire)) {
    return seam(handle, data, count);
  }
  const ssize_t written = ::write(static_cast<int>(handle), data, count);
  if (written < 0) return IoError::from_os(errno);
  return static_cast<std::size_t>(written);
}

}  // namespace

Result<NativeHandle> create_output_file(std::string_view path) {
  // The path becomes a C string, so an embedded NUL would silently name a different file.
  if (path.find('\0') != std::string_view::npos) {
    return invalid_input("file name contained an unexpected NUL byte");
  }
  const std::string c_path(path);
  for (;;) {
    const int fd = ::open(c_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd >= 0) return static_cast<NativeHandle>(fd);
    if (errno != EINTR) return IoError::from_os(errno);
  }
}

Result<std::size_t> write_handle(NativeHandle handle, const char* data, std::size_t size) {
  return write_once(handle, data, size);
}

void close_handle(NativeHandle handle) {
  // An EINTR from close still releases the descriptor on Linux; retrying could close another.
  (void)::close(static_cast<int>(handle));
}

Status close_handle_reporting(NativeHandle handle) {
  // EINTR is no failure: the descriptor is released and the data was handed over before.
  if (::close(static_cast<int>(handle)) != 0 && errno != EINTR) return IoError::from_os(errno);
  return {};
}

Result<std::size_t> write_standard_stream(StandardStream stream, const char* data,
                                          std::size_t size) {
  if (size == 0) return std::size_t{0};
  const NativeHandle fd = stream == StandardStream::Output ? STDOUT_FILENO : STDERR_FILENO;
  return write_once(fd, data, size);
}

std::int32_t invalid_handle_code() { return EBADF; }

void set_write_seam(WriteSeam seam) { write_seam.store(seam, std::memory_order_release); }

}  // namespace vantril::os
