// Synchronous writes to file and pipe handles, and closing them.
#include "runtime/windows/handle_write.hpp"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <limits>
#include <string_view>

#include "runtime/windows/native_api.hpp"

namespace vantril::os {

namespace {

std::atomic<WriteSeam> write_seam{nullptr};

HANDLE to_handle(NativeHandle handle) { return reinterpret_cast<HANDLE>(handle); }

[[noreturn]] void abort_on_pending_write() {
  constexpr std::string_view message =
      "fatal runtime error: I/O error: operation failed to complete synchronously, aborting\n";
  // Standard error is a synchronous handle too; if it were not, the report is lost, not looped.
  (void)windows::write_handle_synchronously(
      reinterpret_cast<NativeHandle>(GetStdHandle(STD_ERROR_HANDLE)), message.data(),
      message.size());
  fail_fast();
}

}  // namespace

namespace windows {

WriteSeam installed_write_seam() { return write_seam.load(std::memory_order_acquire); }

Result<std::size_t> write_handle_synchronously(NativeHandle handle, const char* data,
                                               std::size_t size) {
  // One call takes at most a 32-bit length; the caller loops over the rest.
  const ULONG length = size > std::numeric_limits<ULONG>::max() ? std::numeric_limits<ULONG>::max()
                                                                : static_cast<ULONG>(size);
  IoStatusBlock io_status{};
  io_status.status = status_pending;
  NtStatus status = NtWriteFile(to_handle(handle), nullptr, nullptr, nullptr, &io_status, data,
                                length, nullptr, nullptr);
  if (status == status_pending) {
    // Handles are opened for synchronous I/O, but one inherited from the parent might not be.
    WaitForSingleObject(to_handle(handle), INFINITE);
    status = io_status.status;
  }
  if (status == status_pending) {
    // The data buffer may still be read by the system after we return: nothing safe is left.
    abort_on_pending_write();
  }
  if (status < 0) {
    return IoError::from_os(static_cast<std::int32_t>(RtlNtStatusToDosError(status)));
  }
  return static_cast<std::size_t>(io_status.information);
}

}  // namespace windows

Result<std::size_t> write_handle(NativeHandle handle, const char* data, std::size_t size) {
  if (WriteSeam seam = windows::installed_write_seam(); seam != nullptr) {
    return seam(handle, data, size);
  }
  return windows::write_handle_synchronously(handle, data, size);
}

void close_handle(NativeHandle handle) { CloseHandle(to_handle(handle)); }

Status close_handle_reporting(NativeHandle handle) {
  if (!CloseHandle(to_handle(handle))) {
    return IoError::from_os(static_cast<std::int32_t>(GetLastError()));
  }
  return {};
}

void set_write_seam(WriteSeam seam) { write_seam.store(seam, std::memory_order_release); }

}  // namespace vantril::os
