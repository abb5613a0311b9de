// Standard error, unbuffered: where the library's fatal-error reports go, and the commands'
// diagnostics.
#pragma once

#include <string_view>

namespace vantril {

// Writes bytes to standard error, unbuffered and unlocked; errors are ignored. It touches no
// heap, so a report of exhausted memory still gets out.
void standard_error_write(std::string_view bytes);

}  // namespace vantril
