// Creating, writing and closing the output file; the system calls are the runtime's.
#include "vantril/writer/output_file.hpp"

#include <utility>

#include "runtime/fatal.hpp"
#include "runtime/platform.hpp"

namespace vantril {

Result<OutputFile> OutputFile::create(std::string_view path) {
  Result<os::NativeHandle> handle = os::create_output_file(path);
  if (!handle.ok()) return std::move(handle).error();
  return OutputFile(handle.value());
}

OutputFile::OutputFile(OutputFile&& other) noexcept
    : handle_(other.handle_), open_(std::exchange(other.open_, false)) {}

OutputFile& OutputFile::operator=(OutputFile&& other) noexcept {
  if (this != &other) {
    close();
    handle_ = other.handle_;
    open_ = std::exchange(other.open_, false);
  }
  return *this;
}

OutputFile::~OutputFile() { close(); }

// Not const: writing changes the file this object owns, though no member changes.
// NOLINTNEXTLINE(readability-make-member-function-const)
Result<std::size_t> OutputFile::write(std::string_view bytes) {
  if (!open_) fatal_error("write to an output file that is no longer open");
  return os::write_handle(handle_, bytes.data(), bytes.size());
}

Status OutputFile::finish() {
  if (!open_) fatal_error("finish of an output file that is no longer open");
  open_ = false;
  return os::close_handle_reporting(handle_);
}

void OutputFile::close() {
  if (open_) {
    open_ = false;
    os::close_handle(handle_);
  }
}

}  // namespace vantril
