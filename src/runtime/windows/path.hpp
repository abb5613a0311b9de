// Turning a UTF-8 path into the absolute, long-path-safe UTF-16 form the file API takes.
#pragma once

#include <string>
#include <string_view>

#include "vantril/error.hpp"

namespace vantril::os::windows {

// The path in UTF-16; a NUL inside it is an InvalidInput error, since the API would stop there
// and act on a different path. Bytes that are not UTF-8 become U+FFFD.
Result<std::wstring> to_wide_path(std::string_view path);

// True for paths in the \\?\ or \??\ form, which the system takes as they are.
bool is_verbatim(std::wstring_view path);

// True for a drive path (C:\...) or server-share path (\\server\share\...) short enough for the
// legacy limit, with only backslashes and no component the system would rewrite (empty, ".",
// "..", or ending in a dot or space): the system reads it exactly as written.
bool needs_no_resolving(std::wstring_view path);

// The extended-length form of a path the system has already resolved: \\?\ before a drive path,
// \\?\UNC\ in place of the two backslashes of a server share. Device paths (\\.\) stay as they
// are.
std::wstring with_verbatim_prefix(std::wstring_view full_path);

// The form handed to CreateFileW: verbatim and short absolute paths unchanged, everything else
// resolved against the current directory with GetFullPathNameW and given the extended prefix,
// so paths beyond the legacy length limit work too.
Result<std::wstring> long_path(std::wstring_view path);

}  // namespace vantril::os::windows
