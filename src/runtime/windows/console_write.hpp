// Writing UTF-8 bytes to a console that does not take UTF-8 itself.
#pragma once

#include <windows.h>

#include <cstddef>

#include "runtime/windows/console_utf8.hpp"
#include "vantril/error.hpp"

namespace vantril::os::windows {

// True when the handle is a console whose output code page is not UTF-8, so bytes must be
// converted to UTF-16 and written with WriteConsoleW.
bool needs_console_conversion(HANDLE handle);

// One write of at most one piece; returns the count of bytes taken (pending bytes included).
Result<std::size_t> write_console(HANDLE console, PendingUtf8& pending, const char* data,
                                  std::size_t size);

}  // namespace vantril::os::windows
