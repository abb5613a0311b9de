// The line writer behind standard output, and the process-wide standard output.
#include "runtime/command/standard_output.hpp"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <new>

#include "runtime/command/reentrant_lock.hpp"
#include "runtime/platform.hpp"
#include "runtime/write_loop.hpp"

namespace vantril {
namespace {

// A destination that is gone (no standard output at all) swallows the bytes: losing console
// output must not fail the program.
bool is_missing_handle(const IoError& error) {
  const auto* os_error = std::get_if<IoError::Os>(&error.repr);
  return os_error != nullptr && os_error->code == os::invalid_handle_code();
}

// One raw write, where a destination that is gone takes everything.
Result<std::size_t> write_once(LineWriter::RawWrite raw_write, std::string_view bytes) {
  Result<std::size_t> written = raw_write(bytes.data(), bytes.size());
  if (!written.ok() && is_missing_handle(written.error())) return bytes.size();
  return written;
}

Status write_direct(LineWriter& writer, std::string_view bytes) {
  return write_until_done(
             bytes, "failed to write whole buffer",
             [&writer](std::string_view rest) { return write_once(writer.raw_write, rest); })
      .status;
}

// Buffered writing: bytes that fit wait in the buffer; bytes that do not fit go out directly
// once the buffer is empty, so a large write is never copied.
Status write_buffered(LineWriter& writer, std::string_view bytes) {
  const std::size_t free_space = LineWriter::capacity - writer.buffered;
  if (bytes.size() > free_space) VANTRIL_TRY(line_writer_flush(writer));
  if (bytes.size() >= LineWriter::capacity) return write_direct(writer, bytes);
  std::memcpy(writer.buffer.data() + writer.buffered, bytes.data(), bytes.size());
  writer.buffered += bytes.size();
  return {};
}

bool ends_with_complete_line(const LineWriter& writer) {
  return writer.buffered > 0 && writer.buffer[writer.buffered - 1] == '\n';
}

}  // namespace

Status line_writer_flush(LineWriter& writer) {
  WriteProgress progress = write_until_done(
      std::string_view(writer.buffer.data(), writer.buffered), "failed to write the buffered data",
      [&writer](std::string_view rest) { return write_once(writer.raw_write, rest); });
  // What was taken leaves the buffer even when the flush stops early; the rest moves up front.
  std::memmove(writer.buffer.data(), writer.buffer.data() + progress.written,
               writer.buffered - progress.written);
  writer.buffered -= progress.written;
  return std::move(progress.status);
}

Status line_writer_write(LineWriter& writer, std::string_view bytes) {
  const std::size_t last_line_feed = bytes.rfind('\n');
  if (last_line_feed == std::string_view::npos) {
    // A finished line must not wait behind the start of the next one.
    if (ends_with_complete_line(writer)) VANTRIL_TRY(line_writer_flush(writer));
    return write_buffered(writer, bytes);
  }
  const std::string_view lines = bytes.substr(0, last_line_feed + 1);
  const std::string_view tail = bytes.substr(last_line_feed + 1);
  if (writer.buffered == 0) {
    VANTRIL_TRY(write_direct(writer, lines));
  } else {
    VANTRIL_TRY(write_buffered(writer, lines));
    VANTRIL_TRY(line_writer_flush(writer));
  }
  return write_buffered(writer, tail);
}

namespace {

Result<std::size_t> write_standard_output(const char* data, std::size_t size) {
  return os::write_standard_stream(os::StandardStream::Output, data, size);
}

struct StandardOutput {
  ReentrantLock lock;
  LineWriter writer{write_standard_output};
};

// Made on first use and never destroyed: output written from exit handlers or by other threads
// late in the process must still find it.
StandardOutput& standard_output() {
  alignas(StandardOutput) static unsigned char storage[sizeof(StandardOutput)];
  static auto* const instance = new (storage) StandardOutput;
  return *instance;
}

}  // namespace

Status standard_output_write(std::string_view bytes) {
  StandardOutput& output = standard_output();
  std::lock_guard<ReentrantLock> guard(output.lock);
  return line_writer_write(output.writer, bytes);
}

void standard_output_flush_at_exit() {
  StandardOutput& output = standard_output();
  // A thread that still holds the lock may be mid-write; leaving its bytes alone is better than
  // waiting for it forever.
  std::unique_lock<ReentrantLock> guard(output.lock, std::try_to_lock);
  if (!guard.owns_lock()) return;
  (void)line_writer_flush(output.writer);
}

}  // namespace vantril
