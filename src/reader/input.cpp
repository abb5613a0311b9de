// Opening the reader's input: mapping the file, or reading it whole when it cannot be mapped.
#include "reader/input.hpp"

#include <utility>

namespace vantril::reader {

namespace {

// The file read with positional reads to its end, for files the system will not map.
Result<std::string> read_whole(os::NativeHandle handle) {
  std::string bytes;
  std::uint64_t offset = 0;
  for (;;) {
    const std::size_t piece = 1 << 16;
    bytes.resize(static_cast<std::size_t>(offset) + piece);
    Result<std::size_t> read = os::read_at(handle, offset, bytes.data() + offset, piece);
    if (!read.ok()) return std::move(read).error();
    if (read.value() == 0) break;
    offset += read.value();
    bytes.resize(static_cast<std::size_t>(offset));
  }
  bytes.resize(static_cast<std::size_t>(offset));
  return bytes;
}

}  // namespace

Result<Input> Input::open_file(std::string_view path) {
  Result<os::NativeHandle> handle = os::open_file_for_reading(path);
  if (!handle.ok()) return std::move(handle).error();
  Input input;
  Result<std::uint64_t> size = os::file_size(handle.value());
  if (size.ok() && size.value() > 0) {
    Result<os::MappedView> view = os::map_file(handle.value(), size.value());
    if (view.ok()) {
      os::close_handle(handle.value());
      input.view_ = view.value();
      input.bytes_ = std::string_view(input.view_.data, input.view_.size);
      return input;
    }
    if (kind_of(view.error()) == IoErrorKind::FileTooLarge) {
      os::close_handle(handle.value());
      return std::move(view).error();
    }
  }
  // Empty, or not mappable: what a read gives (a special file may report no size yet have
  // bytes).
  Result<std::string> whole = read_whole(handle.value());
  os::close_handle(handle.value());
  if (!whole.ok()) return std::move(whole).error();
  input.copy_ = std::move(whole).value();
  input.bytes_ = input.copy_;
  return input;
}

Input Input::over(std::string_view bytes) {
  Input input;
  input.bytes_ = bytes;
  return input;
}

Input::Input(Input&& other) noexcept { *this = std::move(other); }

Input& Input::operator=(Input&& other) noexcept {
  if (this == &other) return *this;
  os::unmap_file(view_);
  view_ = std::exchange(other.view_, os::MappedView{});
  const bool owns_copy = other.bytes_.data() == other.copy_.data() && !other.copy_.empty();
  copy_ = std::move(other.copy_);
  bytes_ = owns_copy ? std::string_view(copy_) : other.bytes_;
  other.copy_.clear();
  other.bytes_ = {};
  return *this;
}

Input::~Input() { os::unmap_file(view_); }

}  // namespace vantril::reader
