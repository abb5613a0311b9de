// The raw writes behind standard output and standard error.
#include <windows.h>

#include <cstdint>

#include "runtime/platform.hpp"
#include "runtime/windows/console_write.hpp"
#include "runtime/windows/handle_write.hpp"

namespace vantril::os {

namespace {

constexpr std::int32_t error_invalid_handle = 6;

// Each stream keeps the start of a character that a console write received only in part.
// Standard output is written under its lock; standard error is written only by reports, which
// are serialised by the report lock.
windows::PendingUtf8& pending_for(StandardStream stream) {
  static windows::PendingUtf8 output_pending;
  static windows::PendingUtf8 error_pending;
  return stream == StandardStream::Output ? output_pending : error_pending;
}

}  // namespace

Result<std::size_t> write_standard_stream(StandardStream stream, const char* data,
                                          std::size_t size) {
  if (size == 0) return std::size_t{0};
  HANDLE handle =
      GetStdHandle(stream == StandardStream::Output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
  // A process started without standard handles has null ones: nothing to write to.
  if (handle == nullptr) return IoError::from_os(error_invalid_handle);
  if (handle == INVALID_HANDLE_VALUE) {
    return IoError::from_os(static_cast<std::int32_t>(GetLastError()));
  }
  const auto native = reinterpret_cast<NativeHandle>(handle);
  if (WriteSeam seam = windows::installed_write_seam(); seam != nullptr) {
    return seam(native, data, size);
  }
  if (windows::needs_console_conversion(handle)) {
    return windows::write_console(handle, pending_for(stream), data, size);
  }
  return windows::write_handle_synchronously(native, data, size);
}

std::int32_t invalid_handle_code() { return error_invalid_handle; }

}  // namespace vantril::os
