// POSIX calls for reading a file in place: opening it read-only and mapping it into memory, so
// that a large file is paged in as it is read instead of copied into the heap.
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <limits>
#include <string>

#include "runtime/invalid_input.hpp"
#include "runtime/platform.hpp"

namespace vantril::os {

Result<NativeHandle> open_file_for_reading(std::string_view path) {
  if (path.find('\0') != std::string_view::npos) {
    return invalid_input("file name contained an unexpected NUL byte");
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
    return invalid_input("an empty file cannot be mapped");
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

void release_mapped_pages(const MappedView& view, std::size_t offset, std::size_t size) {
  if (view.data == nullptr || offset >= view.size) return;
  const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
  // Whole pages inside the range only: the pages at its ends may hold bytes still in use.
  const std::size_t first = (offset + page - 1) / page * page;
  const std::size_t end = std::min(view.size, offset + size) / page * page;
  if (end <= first) return;
  ::madvise(const_cast<char*>(view.data) + first, end - first, MADV_DONTNEED);
}

void unmap_file(const MappedView& view) {
  if (view.data == nullptr || view.size == 0) return;
  ::munmap(const_cast<char*>(view.data), view.size);
}

}  // namespace vantril::os
