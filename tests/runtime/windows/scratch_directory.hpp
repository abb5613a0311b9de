// A fresh, empty directory for one test, removed with everything in it afterwards.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace vantril::testing_support {

class ScratchDirectory {
 public:
  ScratchDirectory();
  ~ScratchDirectory();
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;

  // Absolute, without a trailing backslash.
  const std::wstring& path() const { return path_; }
  std::wstring file(std::wstring_view name) const { return path_ + L"\\" + std::wstring(name); }

 private:
  std::wstring path_;
};

// The whole content of a file, or nothing if it cannot be read.
std::string read_file(const std::wstring& path);
bool write_file(const std::wstring& path, std::string_view bytes);
bool exists(const std::wstring& path);

// UTF-8 form of a path, for the functions that take one.
std::string to_utf8(std::wstring_view text);

}  // namespace vantril::testing_support
