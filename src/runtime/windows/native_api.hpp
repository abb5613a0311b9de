// The few ntdll entry points the Windows layer calls. The mingw headers do not declare them in
// a usable form (winternl.h lacks NtWriteFile's full prototype), so they are declared here and
// resolved by linking ntdll.
#pragma once

#include <windows.h>

namespace vantril::os::windows {

using NtStatus = LONG;

inline constexpr NtStatus status_pending = 0x00000103;

struct IoStatusBlock {
  union {
    NtStatus status;
    void* pointer;
  };
  ULONG_PTR information;
};

using IoApcRoutine = void(NTAPI*)(void* context, IoStatusBlock* io_status, ULONG reserved);

}  // namespace vantril::os::windows

extern "C" {
__declspec(dllimport) vantril::os::windows::NtStatus NTAPI
    NtWriteFile(HANDLE file_handle, HANDLE event, vantril::os::windows::IoApcRoutine apc_routine,
                void* apc_context, vantril::os::windows::IoStatusBlock* io_status,
                const void* buffer, ULONG length, LARGE_INTEGER* byte_offset, ULONG* key);

__declspec(dllimport) ULONG NTAPI RtlNtStatusToDosError(vantril::os::windows::NtStatus status);
}
