// Text conversions the Windows layer needs for system messages.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vantril::os::windows {

// UTF-16 (wchar_t is a UTF-16 unit on Windows) to UTF-8; nothing for an unpaired surrogate.
std::optional<std::string> utf16_to_utf8(std::wstring_view units);

// The text without its trailing spaces, tabs, line feeds, form feeds and carriage returns.
std::string_view trim_trailing_whitespace(std::string_view text);

}  // namespace vantril::os::windows
