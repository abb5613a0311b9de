// Internals shared by the Windows files that write to handles.
#pragma once

#include "runtime/platform.hpp"

namespace vantril::os::windows {

// The seam installed by set_write_seam, or null.
WriteSeam installed_write_seam();

// The synchronous handle write without the seam: one NtWriteFile at the current position.
Result<std::size_t> write_handle_synchronously(NativeHandle handle, const char* data,
                                               std::size_t size);

}  // namespace vantril::os::windows
