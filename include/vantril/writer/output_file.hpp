// The open output file of a save: owns one operating-system handle and closes it when destroyed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "vantril/detail/export.hpp"
#include "vantril/error.hpp"

namespace vantril {

// A file or pipe handle: a file descriptor on POSIX systems, a HANDLE on Windows.
using NativeHandle = std::intptr_t;

// Move-only. Its calls fail with the operating system's errors (IoError::Os), and create with
// InvalidInput for a path holding a NUL byte. Writing through a moved-from OutputFile is a broken
// invariant and ends the process.
class VANTRIL_API OutputFile {
 public:
  // Creates the file, or empties an existing one, for writing.
  static Result<OutputFile> create(std::string_view path);

  // Takes ownership of an open handle.
  explicit OutputFile(NativeHandle handle) : handle_(handle), open_(true) {}
  OutputFile(OutputFile&& other) noexcept;
  OutputFile& operator=(OutputFile&& other) noexcept;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  ~OutputFile();

  // One system write; returns the count accepted, possibly fewer than given, possibly 0.
  Result<std::size_t> write(std::string_view bytes);

  // False only for a file whose handle was moved to another OutputFile or closed by finish.
  bool is_open() const { return open_; }

  // Closes the file now and reports the system's error for the close, which some file systems
  // give for bytes they could not store. The handle is released either way.
  Status finish();

 private:
  void close();

  NativeHandle handle_ = 0;
  bool open_ = false;
};

}  // namespace vantril
