// An existing file opened to be extended or patched in place, with the check that it is still the
// file a RevisionState describes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "vantril/error.hpp"
#include "vantril/revision.hpp"
#include "vantril/writer/output_file.hpp"

namespace vantril {

// Owns the handle of a file opened for reading and writing and closes it when destroyed.
// Move-only.
class UpdateFile {
 public:
  // Opens an existing file; it is neither created nor emptied.
  static Result<UpdateFile> open(std::string_view path);

  UpdateFile(UpdateFile&& other) noexcept;
  UpdateFile& operator=(UpdateFile&&) = delete;
  UpdateFile(const UpdateFile&) = delete;
  UpdateFile& operator=(const UpdateFile&) = delete;
  ~UpdateFile();

  Result<std::uint64_t> size() const;
  // Exactly `size` bytes from `offset`; UnexpectedEof when the file ends first.
  Result<std::string> read(std::uint64_t offset, std::size_t size) const;
  // All the bytes at `offset`; WriteZero when the system takes none.
  Status write(std::uint64_t offset, std::string_view bytes) const;
  Status set_length(std::uint64_t length) const;

  // InvalidData unless the file's length and last bytes are the state's.
  Status check_unchanged(const RevisionState& state) const;
  // The file's last min(length, RevisionState::tail_capacity) bytes, for a state.
  Result<std::string> read_tail(std::uint64_t length) const;
  // Cuts the file, which `latest` describes, back to `previous`: InvalidData, nothing changed,
  // unless check_unchanged(latest) passes, previous is shorter and its tail is what the file
  // holds before previous.file_length.
  Status cut_back(const RevisionState& latest, const RevisionState& previous) const;

 private:
  explicit UpdateFile(NativeHandle handle) : handle_(handle) {}

  NativeHandle handle_;
  bool open_ = true;
};

// The last RevisionState::tail_capacity bytes of `before` followed by `appended`.
std::string tail_after(std::string_view before, std::string_view appended);

}  // namespace vantril
