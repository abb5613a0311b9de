// Flushing, direct writes and the final release of the buffered output file.
#include "vantril/writer/buffered_file_writer.hpp"

#include <utility>

#include "runtime/fatal.hpp"
#include "runtime/write_loop.hpp"

namespace vantril {

namespace {

// One system write of the file; the system taking more than it was given is a broken invariant.
Result<std::size_t> write_once(OutputFile& file, std::string_view bytes) {
  Result<std::size_t> written = file.write(bytes);
  if (written.ok() && written.value() > bytes.size()) {
    fatal_error("the system accepted more bytes than given");
  }
  return written;
}

}  // namespace

BufferedFileWriter::BufferedFileWriter(OutputFile file)
    : file_(std::move(file)), buffer_(new char[capacity]) {}

BufferedFileWriter::~BufferedFileWriter() { release(); }

Status BufferedFileWriter::write_all_slow(std::string_view bytes) {
  if (!buffer_) fatal_error("write to a buffered writer that has handed back its file");
  const std::size_t free = capacity - buffered_;
  if (free < bytes.size()) VANTRIL_TRY(flush_buffer());
  if (bytes.size() < capacity) {
    std::memcpy(buffer_.get() + buffered_, bytes.data(), bytes.size());
    buffered_ += bytes.size();
    return {};
  }
  // Large contents skip the buffer so that they are never copied.
  return write_until_done(bytes, "failed to write whole buffer",
                          [this](std::string_view rest) { return write_once(file_, rest); })
      .status;
}

Status BufferedFileWriter::flush_buffer() { return flush_front(buffered_); }

Status BufferedFileWriter::flush_front(std::size_t size) {
  WriteProgress progress =
      write_until_done(buffered().substr(0, size), "failed to write the buffered data",
                       [this](std::string_view rest) { return write_once(file_, rest); });
  // What the system did not take stays, at the front, for a later attempt.
  if (progress.written > 0) {
    std::memmove(buffer_.get(), buffer_.get() + progress.written, buffered_ - progress.written);
    buffered_ -= progress.written;
  }
  return std::move(progress.status);
}

Result<OutputFile> BufferedFileWriter::into_file() {
  if (!buffer_) fatal_error("a buffered writer handed back its file twice");
  Status flushed = flush_buffer();
  if (!flushed.ok()) {
    release();
    return std::move(flushed).error();
  }
  buffer_.reset();
  buffered_ = 0;
  return std::move(file_);
}

void BufferedFileWriter::release() {
  if (buffer_) {
    // One last attempt to get the bytes out; there is nobody left to tell about a failure.
    (void)flush_buffer();
    buffer_.reset();
    buffered_ = 0;
  }
  // Closes the handle now rather than when the writer itself goes away.
  OutputFile closing = std::move(file_);
}

}  // namespace vantril
