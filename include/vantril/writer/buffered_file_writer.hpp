// The fixed 8192-byte buffer between the serializer's many small writes and the output file.
#pragma once

#include <cstddef>
#include <cstring>
#include <memory>
#include <string_view>

#include "vantril/detail/export.hpp"
#include "vantril/error.hpp"
#include "vantril/writer/output_file.hpp"

namespace vantril {

namespace detail {
class Emitter;
}  // namespace detail

// Holds 0 to `capacity` not yet written bytes at the front of its buffer. The buffer is allocated
// once, when the writer is made, and never grows, so writing never allocates. Destroying a writer
// that still owns its file writes out what it holds (errors ignored) and closes the file.
//
// Not movable: a CountingSink refers to it for the whole save.
class VANTRIL_API BufferedFileWriter {
 public:
  static constexpr std::size_t capacity = 8192;

  explicit BufferedFileWriter(OutputFile file);
  BufferedFileWriter(const BufferedFileWriter&) = delete;
  BufferedFileWriter& operator=(const BufferedFileWriter&) = delete;
  ~BufferedFileWriter();

  // On success every byte is in the buffer or in the file. Bytes that exactly fill the free
  // space are buffered without a flush; 8192 bytes or more go straight to the file after the
  // buffer has been flushed.
  Status write_all(std::string_view bytes) {
    if (bytes.size() < capacity - buffered_) {
      // Fast path of every small write; an empty write is a no-op memcpy of 0 bytes.
      if (!bytes.empty()) std::memcpy(buffer_.get() + buffered_, bytes.data(), bytes.size());
      buffered_ += bytes.size();
      return {};
    }
    return write_all_slow(bytes);
  }

  // Writes out the buffered bytes. Bytes the system has not taken stay at the buffer's front,
  // also when it fails.
  Status flush_buffer();

  // Flushes and hands back the still open file; the writer is then empty. On a failed flush the
  // writer releases everything as its destructor would and returns the flush's error.
  Result<OutputFile> into_file();

  // The bytes waiting in the buffer.
  std::string_view buffered() const { return {buffer_.get(), buffered_}; }

 private:
  // The writers of values form their bytes straight in the buffer's free room.
  friend class detail::Emitter;

  Status write_all_slow(std::string_view bytes);
  // Writes out the first `size` buffered bytes and moves the rest to the front. Bytes the system
  // has not taken stay at the front, also when it fails.
  Status flush_front(std::size_t size);
  void release();

  OutputFile file_;
  std::unique_ptr<char[]> buffer_;
  std::size_t buffered_ = 0;
};

}  // namespace vantril
