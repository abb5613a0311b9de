// UTF-16 to UTF-8 and trimming.
#include "runtime/windows/text.hpp"

#include <cstdint>

namespace vantril::os::windows {

namespace {

bool is_high_surrogate(wchar_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool is_low_surrogate(wchar_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

void append_code_point(std::string& out, std::uint32_t code_point) {
  auto push = [&out](std::uint32_t byte) { out.push_back(static_cast<char>(byte)); };
  if (code_point < 0x80) {
    push(code_point);
  } else if (code_point < 0x800) {
    push(0xC0 | (code_point >> 6));
    push(0x80 | (code_point & 0x3F));
  } else if (code_point < 0x10000) {
    push(0xE0 | (code_point >> 12));
    push(0x80 | ((code_point >> 6) & 0x3F));
    push(0x80 | (code_point & 0x3F));
  } else {
    push(0xF0 | (code_point >> 18));
    push(0x80 | ((code_point >> 12) & 0x3F));
    push(0x80 | ((code_point >> 6) & 0x3F));
    push(0x80 | (code_point & 0x3F));
  }
}

}  // namespace

std::optional<std::string> utf16_to_utf8(std::wstring_view units) {
  std::string out;
  out.reserve(units.size());
  for (std::size_t i = 0; i < units.size(); ++i) {
    const wchar_t unit = units[i];
    if (is_high_surrogate(unit)) {
      if (i + 1 == units.size() || !is_low_surrogate(units[i + 1])) return std::nullopt;
      const std::uint32_t high = static_cast<std::uint32_t>(unit) - 0xD800u;
      const std::uint32_t low = static_cast<std::uint32_t>(units[i + 1]) - 0xDC00u;
      append_code_point(out, 0x10000u + (high << 10) + low);
      ++i;
    } else if (is_low_surrogate(unit)) {
      return std::nullopt;
    } else {
      append_code_point(out, static_cast<std::uint32_t>(unit));
    }
  }
  return out;
}

std::string_view trim_trailing_whitespace(std::string_view text) {
  const std::size_t end = text.find_last_not_of(" \t\n\f\r");
  return end == std::string_view::npos ? std::string_view() : text.substr(0, end + 1);
}

}  // namespace vantril::os::windows
