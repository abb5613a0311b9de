// Flushing, direct writes and the final release of the buffered output file.
#include "vantril/writer/buffered_file_writer.hpp"

#include <utility>

#include "runtime/fatal.hpp"

namespace vantril {

namespace {

bool is_interrupted(const IoError& error) { return kind_of(error) == IoErrorKind::Interrupted; }

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
  while (!bytes.empty()) {
    Result<std::size_t> written = file_.write(bytes);
    if (!written.ok()) {
      if (is_interrupted(written.error())) continue;
      return std::move(written).error();
    }
    if (written.value() == 0) {
      return IoError::with_message(IoErrorKind::WriteZero, "failed to write whole buffer");
    }
    if (written.value() > bytes.size()) fatal_error("the system accepted more bytes than given");
    bytes.remove_prefix(written.value());
  }
  return {};
}

Status BufferedFileWriter::flush_buffer() {
  std::size_t written = 0;
  Status status;
  while (written < buffered_) {
    Result<std::size_t> accepted =
        file_.write(std::string_view(buffer_.get() + written, buffered_ - written));
    if (!accepted.ok()) {
      if (is_interrupted(accepted.error())) continue;
      status = std::move(accepted).error();
      break;
    }
    if (accepted.value() == 0) {
      status = IoError::with_message(IoErrorKind::WriteZero, "failed to write the buffered data");
      break;
    }
    if (accepted.value() > buffered_ - written) {
      fatal_error("the system accepted more bytes than given");
    }
    written += accepted.value();
  }
  // What the system did not take stays, at the front, for a later attempt.
  if (written > 0) {
    std::memmove(buffer_.get(), buffer_.get() + written, buffered_ - written);
    buffered_ -= written;
  }
  return status;
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
