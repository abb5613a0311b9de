// Windows calls for reading a file in place: opening it read-only and mapping a view of it, so
// that a large file is paged in as it is read instead of copied into the heap.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string>
#include <utility>

#include "runtime/invalid_input.hpp"
#include "runtime/platform.hpp"
#include "runtime/windows/path.hpp"

namespace vantril::os {

namespace {

IoError last_error() { return IoError::from_os(static_cast<std::int32_t>(GetLastError())); }

}  // namespace

Result<NativeHandle> open_file_for_reading(std::string_view path) {
  Result<std::wstring> wide = windows::to_wide_path(path);
  if (!wide.ok()) return std::move(wide).error();
  Result<std::wstring> full = windows::long_path(wide.value());
  if (!full.ok()) return std::move(full).error();
  HANDLE file = CreateFileW(full.value().c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) return last_error();
  return reinterpret_cast<NativeHandle>(file);
}

Result<MappedView> map_file(NativeHandle handle, std::uint64_t size) {
  if (size == 0) {
    return invalid_input("an empty file cannot be mapped");
  }
  if (size > std::numeric_limits<std::size_t>::max() / 2) {
    return IoError::with_message(IoErrorKind::FileTooLarge, "the file is too large to map");
  }
  HANDLE mapping = CreateFileMappingW(reinterpret_cast<HANDLE>(handle), nullptr, PAGE_READONLY,
                                      static_cast<DWORD>(size >> 32),
                                      static_cast<DWORD>(size & 0xFFFFFFFFu), nullptr);
  if (mapping == nullptr) return last_error();
  const auto length = static_cast<std::size_t>(size);
  void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, length);
  if (view == nullptr) {
    IoError error = last_error();
    CloseHandle(mapping);
    return error;
  }
  return MappedView{static_cast<const char*>(view), length, mapping};
}

void release_mapped_pages(const MappedView& view, std::size_t offset, std::size_t size) {
  if (view.data == nullptr || offset >= view.size) return;
  const std::size_t length = std::min(view.size - offset, size);
  // Unlocking pages that are not locked takes them out of the working set.
  VirtualUnlock(const_cast<char*>(view.data) + offset, length);
}

void unmap_file(const MappedView& view) {
  if (view.data != nullptr) UnmapViewOfFile(view.data);
  if (view.mapping != nullptr) CloseHandle(static_cast<HANDLE>(view.mapping));
}

}  // namespace vantril::os
