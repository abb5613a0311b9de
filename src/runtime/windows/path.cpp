// Path conversion for the Windows file API.
#include "runtime/windows/path.hpp"

#include <windows.h>

#include <cstdint>
#include <vector>

#include "runtime/invalid_input.hpp"

namespace vantril::os::windows {

namespace {

// Paths at or beyond this length (without the NUL) fail in parts of the API without \\?\.
constexpr std::size_t legacy_path_limit = 248;

bool is_drive_letter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

bool is_drive_absolute(std::wstring_view path) {
  return path.size() >= 3 && is_drive_letter(path[0]) && path[1] == L':' && path[2] == L'\\';
}

bool is_server_share(std::wstring_view path) {
  return path.size() >= 3 && path[0] == L'\\' && path[1] == L'\\' && path[2] != L'?' &&
         path[2] != L'.' && path[2] != L'\\';
}

// Components after the root: none may be empty, "." or "..", or end in a dot or a space.
bool components_are_plain(std::wstring_view rest) {
  std::size_t start = 0;
  while (start <= rest.size()) {
    std::size_t end = rest.find(L'\\', start);
    if (end == std::wstring_view::npos) end = rest.size();
    const std::wstring_view component = rest.substr(start, end - start);
    const bool last = end == rest.size();
    // A trailing backslash (empty last component) names a directory; leave that to the system.
    if (component.empty() && !last) return false;
    if (!component.empty() && (component.back() == L'.' || component.back() == L' ')) {
      return false;
    }
    start = end + 1;
  }
  return true;
}

}  // namespace

Result<std::wstring> to_wide_path(std::string_view path) {
  if (path.find('\0') != std::string_view::npos) {
    return invalid_input("strings passed to WinAPI cannot contain NULs");
  }
  if (path.empty()) return std::wstring();
  const int length = static_cast<int>(path.size());
  const int units = MultiByteToWideChar(CP_UTF8, 0, path.data(), length, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(units), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, path.data(), length, wide.data(), units);
  return wide;
}

bool is_verbatim(std::wstring_view path) {
  return path.starts_with(L"\\\\?\\") || path.starts_with(L"\\??\\");
}

bool needs_no_resolving(std::wstring_view path) {
  if (path.size() >= legacy_path_limit) return false;
  if (path.find(L'/') != std::wstring_view::npos) return false;
  if (is_drive_absolute(path)) return components_are_plain(path.substr(3));
  if (is_server_share(path)) return components_are_plain(path.substr(2));
  return false;
}

std::wstring with_verbatim_prefix(std::wstring_view full_path) {
  if (is_verbatim(full_path) || full_path.starts_with(L"\\\\.\\")) {
    return std::wstring(full_path);
  }
  if (full_path.starts_with(L"\\\\")) {
    return std::wstring(L"\\\\?\\UNC\\").append(full_path.substr(2));
  }
  return std::wstring(L"\\\\?\\").append(full_path);
}

Result<std::wstring> long_path(std::wstring_view path) {
  if (is_verbatim(path) || needs_no_resolving(path)) return std::wstring(path);
  const std::wstring terminated(path);
  // Most paths fit the first buffer; a longer one is asked for again with the size the call
  // reports, which can change between calls if another thread changes the current directory.
  std::vector<wchar_t> buffer(512);
  for (;;) {
    SetLastError(0);
    const DWORD length = GetFullPathNameW(terminated.c_str(), static_cast<DWORD>(buffer.size()),
                                          buffer.data(), nullptr);
    if (length == 0) {
      const DWORD error = GetLastError();
      if (error != 0) return IoError::from_os(static_cast<std::int32_t>(error));
      return std::wstring();
    }
    if (length < buffer.size()) {
      return with_verbatim_prefix(std::wstring_view(buffer.data(), length));
    }
    buffer.resize(length);
  }
}

}  // namespace vantril::os::windows
