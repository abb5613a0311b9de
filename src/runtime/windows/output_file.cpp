// Creating or emptying the output file.
#include <windows.h>

#include <cstdint>
#include <string>

#include "runtime/platform.hpp"
#include "runtime/windows/path.hpp"

namespace vantril::os {

namespace {

IoError last_error() { return IoError::from_os(static_cast<std::int32_t>(GetLastError())); }

// Empties a file that OPEN_ALWAYS found already there. Setting the allocation size to 0 frees
// the clusters at once; some file systems refuse it, and setting the end of file does the same.
bool truncate(HANDLE file) {
  FILE_ALLOCATION_INFO allocation{};
  allocation.AllocationSize.QuadPart = 0;
  if (SetFileInformationByHandle(file, FileAllocationInfo, &allocation, sizeof allocation)) {
    return true;
  }
  FILE_END_OF_FILE_INFO end_of_file{};
  end_of_file.EndOfFile.QuadPart = 0;
  return SetFileInformationByHandle(file, FileEndOfFileInfo, &end_of_file, sizeof end_of_file);
}

}  // namespace

Result<NativeHandle> create_output_file(std::string_view path) {
  Result<std::wstring> wide = windows::to_wide_path(path);
  if (!wide.ok()) return std::move(wide).error();
  Result<std::wstring> full = windows::long_path(wide.value());
  if (!full.ok()) return std::move(full).error();

  // OPEN_ALWAYS and an explicit truncation rather than CREATE_ALWAYS, which refuses an existing
  // hidden or system file unless the same attributes are asked for.
  HANDLE file = CreateFileW(full.value().c_str(), GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return last_error();
  if (GetLastError() == ERROR_ALREADY_EXISTS && !truncate(file)) {
    IoError error = last_error();
    CloseHandle(file);
    return error;
  }
  return reinterpret_cast<NativeHandle>(file);
}

}  // namespace vantril::os
