// Windows calls for updating an existing file in place: opening it for reading and writing, its
// size, positional reads and writes through an OVERLAPPED offset on a synchronous handle, and
// cutting it back to a length.
#include <windows.h>

#include <cstdint>
#include <limits>
#include <string>

#include "runtime/invalid_input.hpp"
#include "runtime/platform.hpp"
#include "runtime/windows/path.hpp"

namespace vantril::os {

namespace {

IoError last_error() { return IoError::from_os(static_cast<std::int32_t>(GetLastError())); }

HANDLE to_handle(NativeHandle handle) { return reinterpret_cast<HANDLE>(handle); }

// A synchronous handle still takes its position from the OVERLAPPED structure when one is given.
OVERLAPPED at_offset(std::uint64_t offset) {
  OVERLAPPED overlapped{};
  overlapped.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFu);
  overlapped.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return overlapped;
}

DWORD clamp_length(std::size_t size) {
  return size > std::numeric_limits<DWORD>::max() ? std::numeric_limits<DWORD>::max()
                                                  : static_cast<DWORD>(size);
}

bool offset_fits(std::uint64_t offset) {
  return offset <= static_cast<std::uint64_t>(std::numeric_limits<LONGLONG>::max());
}

IoError offset_too_large() { return invalid_input("file offset out of range"); }

}  // namespace

Result<NativeHandle> open_file_for_update(std::string_view path) {
  Result<std::wstring> wide = windows::to_wide_path(path);
  if (!wide.ok()) return std::move(wide).error();
  Result<std::wstring> full = windows::long_path(wide.value());
  if (!full.ok()) return std::move(full).error();
  HANDLE file = CreateFileW(full.value().c_str(), GENERIC_READ | GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return last_error();
  return reinterpret_cast<NativeHandle>(file);
}

Result<std::uint64_t> file_size(NativeHandle handle) {
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(to_handle(handle), &size)) return last_error();
  return static_cast<std::uint64_t>(size.QuadPart);
}

Result<std::size_t> read_at(NativeHandle handle, std::uint64_t offset, char* data,
                            std::size_t size) {
  if (!offset_fits(offset)) return offset_too_large();
  OVERLAPPED overlapped = at_offset(offset);
  DWORD read = 0;
  if (!ReadFile(to_handle(handle), data, clamp_length(size), &read, &overlapped)) {
    // Reading at or past the end is no error, only the end.
    if (GetLastError() == ERROR_HANDLE_EOF) return std::size_t{0};
    return last_error();
  }
  return static_cast<std::size_t>(read);
}

Result<std::size_t> write_at(NativeHandle handle, std::uint64_t offset, const char* data,
                             std::size_t size) {
  if (!offset_fits(offset)) return offset_too_large();
  OVERLAPPED overlapped = at_offset(offset);
  DWORD written = 0;
  if (!WriteFile(to_handle(handle), data, clamp_length(size), &written, &overlapped)) {
    return last_error();
  }
  return static_cast<std::size_t>(written);
}

Status set_file_length(NativeHandle handle, std::uint64_t length) {
  if (!offset_fits(length)) return offset_too_large();
  FILE_END_OF_FILE_INFO end_of_file{};
  end_of_file.EndOfFile.QuadPart = static_cast<LONGLONG>(length);
  if (!SetFileInformationByHandle(to_handle(handle), FileEndOfFileInfo, &end_of_file,
                                  sizeof end_of_file)) {
    return last_error();
  }
  return {};
}

}  // namespace vantril::os
