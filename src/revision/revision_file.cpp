// Opening, checking, reading and writing a file that later revisions extend in place.
#include "revision/revision_file.hpp"

#include <algorithm>
#include <utility>

#include "revision/fingerprint.hpp"
#include "runtime/platform.hpp"
#include "runtime/write_loop.hpp"

namespace vantril {

namespace {

constexpr std::string_view changed_message =
    "the file changed since the revision state was taken: its length or last bytes differ";

}  // namespace

Result<UpdateFile> UpdateFile::open(std::string_view path) {
  Result<NativeHandle> handle = os::open_file_for_update(path);
  if (!handle.ok()) return std::move(handle).error();
  return UpdateFile(handle.value());
}

UpdateFile::UpdateFile(UpdateFile&& other) noexcept
    : handle_(other.handle_), open_(std::exchange(other.open_, false)) {}

UpdateFile::~UpdateFile() {
  if (open_) os::close_handle(handle_);
}

Result<std::uint64_t> UpdateFile::size() const { return os::file_size(handle_); }

Result<std::string> UpdateFile::read(std::uint64_t offset, std::size_t size) const {
  std::string bytes(size, '\0');
  std::size_t done = 0;
  while (done < size) {
    Result<std::size_t> read =
        os::read_at(handle_, offset + done, bytes.data() + done, size - done);
    if (!read.ok()) {
      if (kind_of(read.error()) == IoErrorKind::Interrupted) continue;
      return std::move(read).error();
    }
    if (read.value() == 0) {
      return IoError::with_message(IoErrorKind::UnexpectedEof, "the file ended before the bytes");
    }
    done += read.value();
  }
  return bytes;
}

Status UpdateFile::write(std::uint64_t offset, std::string_view bytes) const {
  return write_until_done(bytes, "failed to write whole buffer",
                          [&](std::string_view rest) {
                            const std::uint64_t at = offset + (bytes.size() - rest.size());
                            return os::write_at(handle_, at, rest.data(), rest.size());
                          })
      .status;
}

Status UpdateFile::set_length(std::uint64_t length) const {
  return os::set_file_length(handle_, length);
}

Result<std::string> UpdateFile::read_tail(std::uint64_t length) const {
  const std::uint64_t kept = std::min<std::uint64_t>(length, RevisionState::tail_capacity);
  return read(length - kept, static_cast<std::size_t>(kept));
}

Status UpdateFile::check_unchanged(const RevisionState& state) const {
  const IoError changed = IoError::with_message(IoErrorKind::InvalidData, changed_message);
  Result<std::uint64_t> length = size();
  if (!length.ok()) return std::move(length).error();
  if (length.value() != state.file_length) return changed;
  // A tail longer than the file, or shorter than the state says it keeps, describes another file.
  const std::uint64_t kept =
      std::min<std::uint64_t>(state.file_length, RevisionState::tail_capacity);
  if (state.tail.size() != kept) return changed;
  Result<std::string> tail = read_tail(state.file_length);
  if (!tail.ok()) return std::move(tail).error();
  if (tail.value() != state.tail) return changed;
  if (state.digest) {
    if (state.digest_length > state.file_length) return changed;
    // In pieces, so that checking a large file takes a bounded amount of memory.
    constexpr std::size_t piece = std::size_t{1} << 20;
    FingerprintBuilder builder;
    for (std::uint64_t at = 0; at < state.digest_length;) {
      const std::size_t size =
          static_cast<std::size_t>(std::min<std::uint64_t>(piece, state.digest_length - at));
      Result<std::string> bytes = read(at, size);
      if (!bytes.ok()) return std::move(bytes).error();
      builder.add(bytes.value());
      at += size;
    }
    if (builder.finish() != *state.digest) {
      return IoError::with_message(IoErrorKind::InvalidData,
                                   "the file changed since it was read: its bytes differ");
    }
  }
  return {};
}

Status UpdateFile::cut_back(const RevisionState& latest, const RevisionState& previous) const {
  VANTRIL_TRY(check_unchanged(latest));
  const std::uint64_t kept =
      std::min<std::uint64_t>(previous.file_length, RevisionState::tail_capacity);
  if (previous.file_length >= latest.file_length || previous.tail.size() != kept) {
    return IoError::with_message(IoErrorKind::InvalidData,
                                 "the earlier revision state does not describe the start of the "
                                 "file");
  }
  Result<std::string> tail = read_tail(previous.file_length);
  if (!tail.ok()) return std::move(tail).error();
  if (tail.value() != previous.tail) {
    return IoError::with_message(IoErrorKind::InvalidData,
                                 "the earlier revision state does not describe the start of the "
                                 "file");
  }
  return set_length(previous.file_length);
}

std::string tail_after(std::string_view before, std::string_view appended) {
  std::string tail;
  if (appended.size() < RevisionState::tail_capacity) {
    const std::size_t from_before =
        std::min(before.size(), RevisionState::tail_capacity - appended.size());
    tail.assign(before.substr(before.size() - from_before));
  }
  tail.append(
      appended.substr(appended.size() - std::min(appended.size(), RevisionState::tail_capacity)));
  return tail;
}

}  // namespace vantril
