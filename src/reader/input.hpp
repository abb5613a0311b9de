// The bytes the reader reads: a file mapped into memory (never copied into the heap, so a large
// file costs address space, not memory), a copy when the file cannot be mapped, or bytes the
// caller keeps.
#pragma once

#include <string>
#include <string_view>

#include "runtime/platform.hpp"
#include "vantril/error.hpp"

namespace vantril::reader {

class Input {
 public:
  Input() = default;
  // Maps the file at `path`; an empty file gives empty bytes, and a file the system cannot map
  // (a pipe, a special file) is read into memory instead.
  static Result<Input> open_file(std::string_view path);
  // Over bytes the caller keeps alive and unchanged.
  static Input over(std::string_view bytes);

  Input(Input&& other) noexcept;
  Input& operator=(Input&& other) noexcept;
  Input(const Input&) = delete;
  Input& operator=(const Input&) = delete;
  ~Input();

  std::string_view bytes() const { return bytes_; }

 private:
  os::MappedView view_;
  std::string copy_;
  std::string_view bytes_;
};

}  // namespace vantril::reader
