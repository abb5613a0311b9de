// Error codes: their kinds and the system's text for them.
#include <windows.h>

#include <array>
#include <string>

#include "runtime/platform.hpp"
#include "runtime/windows/text.hpp"
#include "runtime/windows_error_kinds.hpp"

namespace vantril::os {

namespace {

// Set in codes that carry an NT status value; ntdll holds the texts for those.
constexpr DWORD status_code_bit = 0x10000000;

}  // namespace

IoErrorKind kind_from_code(std::int32_t code) { return kind_from_windows_code(code); }

std::string system_message(std::int32_t code) {
  std::array<wchar_t, 2048> buffer;
  DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
  DWORD message_id = static_cast<DWORD>(code);
  HMODULE module = nullptr;
  if ((message_id & status_code_bit) != 0) {
    module = GetModuleHandleW(L"NTDLL.DLL");
    if (module != nullptr) {
      message_id &= ~status_code_bit;
      flags |= FORMAT_MESSAGE_FROM_HMODULE;
    }
  }
  const DWORD length = FormatMessageW(flags, module, message_id, 0, buffer.data(),
                                      static_cast<DWORD>(buffer.size()), nullptr);
  if (length == 0) {
    return "OS Error " + std::to_string(code) + " (FormatMessageW() returned error " +
           std::to_string(GetLastError()) + ")";
  }
  const std::optional<std::string> text = windows::utf16_to_utf8({buffer.data(), length});
  if (!text) {
    return "OS Error " + std::to_string(code) + " (FormatMessageW() returned invalid UTF-16)";
  }
  return std::string(windows::trim_trailing_whitespace(*text));
}

}  // namespace vantril::os
