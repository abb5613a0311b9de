// POSIX calls for reading a file in place: opening it read-only and mapping it into memory, so
// that a large file is paged in as it is read instead of copied into the heap.
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <limits>
#include <string>

#include "runtime/platform.hpp"

namespace vantril::os {

Result<NativeHandle> open_file_for_reading(std::string_view path) {
  if (path.find('\0') != std::string_view::npos) {
    return IoError::with_message(IoErrorKind::InvalidInput,
                                 "file name contained an unexpected NUL byte");
  }
  const std::string c_path(path);
  for (;;) {
    const int fd = ::open(c_path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) return static_cast<NativeHandle>(fd);
    if (errno != EINTR) return IoError::from_os(errno);
  }
}

Result<MappedView> map_file(NativeHandle handle, std::uint64_t size) {
  if (size == 0) {
    return IoError::with_message(IoErrorKind::InvalidInput, "an empty file cannot be mapped");
  }
  if (size > std::numeric_limits<std::size_t>::max() / 2) {
    return IoError::with_message(IoErrorKind::FileTooLarge, "the file is too large to map");
  }
  const auto length = static_cast<std::size_t>(size);
  void* address = ::mmap(nullptr, length, PROT_READ, MAP_PRIVATE, static_cast<int>(handle), 0);
  if (address == MAP_FAILED) return IoError::from_os(errno);
  // The reader goes through the file from front to back; the kernel may read ahead further.
  ::madvise(address, length, MADV_SEQUENTIAL);
  return MappedView{static_cast<const char*>(address), length, nullptr};
}

void unmap_file(const MappedView& view) {
  if (view.data == nullptr || view.size == 0) return;
  ::munmap(const_cast<char*>(view.data), view.size);
}

}  // namespace vantril::os
