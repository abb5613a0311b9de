// Console output through WriteConsoleW, which is what shows non-ASCII text correctly whatever
// the console's code page.
#include "runtime/windows/console_write.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <string_view>
#include <type_traits>

#include "runtime/fatal.hpp"
#include "vantril/error.hpp"

namespace vantril::os::windows {

namespace {

constexpr UINT utf8_code_page = 65001;

const IoError& invalid_utf8_error() {
  static const IoError error = IoError::with_message(
      IoErrorKind::InvalidData,
      "Windows stdio in console mode does not support writing non-UTF-8 byte sequences");
  return error;
}

// Converts whole valid characters and writes them; returns how many of their bytes the console
// took. A character whose units the console took only in part is finished before returning, so
// no half surrogate pair is left on screen.
Result<std::size_t> write_whole_characters(HANDLE console, std::string_view text) {
  std::array<wchar_t, console_piece_limit> units;
  const int converted =
      MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()),
                          units.data(), static_cast<int>(units.size()));
  if (converted <= 0) fatal_error("Unexpected error in MultiByteToWideChar");
  const auto total = static_cast<DWORD>(converted);

  DWORD written = 0;
  if (!WriteConsoleW(console, units.data(), total, &written, nullptr)) {
    return IoError::from_os(static_cast<std::int32_t>(GetLastError()));
  }
  if (written < total && written > 0 && IS_HIGH_SURROGATE(units[written - 1])) {
    DWORD low_written = 0;
    if (!WriteConsoleW(console, units.data() + written, 1, &low_written, nullptr)) {
      return IoError::from_os(static_cast<std::int32_t>(GetLastError()));
    }
    written += low_written;
  }
  return utf8_length_of_units(text, written);
}

}  // namespace

bool needs_console_conversion(HANDLE handle) {
  DWORD mode = 0;
  return GetConsoleMode(handle, &mode) && GetConsoleOutputCP() != utf8_code_page;
}

Result<std::size_t> write_console(HANDLE console, PendingUtf8& pending, const char* data,
                                  std::size_t size) {
  const std::string_view bytes(data, size);
  const ConsolePlan plan = plan_console_write(pending.view(), bytes);
  return std::visit(
      [&](const auto& step) -> Result<std::size_t> {
        using Step = std::decay_t<decltype(step)>;
        if constexpr (std::is_same_v<Step, WriteRun>) {
          return write_whole_characters(console, bytes.substr(0, step.length));
        } else if constexpr (std::is_same_v<Step, CompletePending>) {
          std::array<char, 4> character{};
          const std::string_view before = pending.view();
          std::copy(before.begin(), before.end(), character.begin());
          std::copy_n(bytes.begin(), step.taken,
                      character.begin() + static_cast<std::ptrdiff_t>(before.size()));
          Result<std::size_t> written =
              write_whole_characters(console, {character.data(), before.size() + step.taken});
          if (!written.ok()) return written;
          if (written.value() == 0) return std::size_t{0};
          pending.length = 0;
          return step.taken;
        } else if constexpr (std::is_same_v<Step, HoldPartial>) {
          std::copy(bytes.begin(), bytes.end(), pending.bytes.begin() + pending.length);
          pending.length = static_cast<std::uint8_t>(pending.length + bytes.size());
          return size;
        } else {
          return invalid_utf8_error();
        }
      },
      plan);
}

}  // namespace vantril::os::windows
