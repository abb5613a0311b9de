// The kinds of Windows error codes. The table is plain code, built on every platform, so that the
// tests check it everywhere; only the Windows runtime maps its Os errors through it.
#pragma once

#include <cstdint>

#include "vantril/error.hpp"

namespace vantril {

// The kind a Windows error code maps to; every unlisted code is Uncategorized.
IoErrorKind kind_from_windows_code(std::int32_t code);

}  // namespace vantril
