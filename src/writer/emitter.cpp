// The run of formed bytes over each kind of destination: where its room comes from, and when the
// bytes formed there reach the sink.
#include "vantril/detail/emitter.hpp"

#include <utility>

#include "runtime/fatal.hpp"
#include "vantril/writer/buffered_file_writer.hpp"
#include "vantril/writer/counting_sink.hpp"

namespace vantril::detail {

Emitter::Emitter(CountingSink& sink) : sink_(&sink) {
  if (BufferedFileWriter* file = sink.buffered_file()) {
    file_ = file;
    destination_ = Destination::File;
  } else if (std::string* const* memory = std::get_if<std::string*>(&sink.destination_)) {
    memory_ = *memory;
    destination_ = Destination::Memory;
  }
  restart();
}

void Emitter::open_file_run() {
  // A writer that has handed back its file has no buffer: every byte then goes to write_all,
  // which reports the misuse.
  if (file_->buffer_ == nullptr) {
    start_ = out_ = limit_ = nullptr;
    return;
  }
  start_ = out_ = file_->buffer_.get() + file_->buffered_;
  limit_ = file_->buffer_.get() + BufferedFileWriter::capacity;
}

namespace {

// Out of line, so that committing to a file, once per object and more, saves no registers for
// the string's growth.
[[gnu::noinline]] void append_run(std::string& memory, const char* start, std::size_t size) {
  memory.append(start, size);
}

}  // namespace

std::uint64_t Emitter::position() const {
  return sink_->count + static_cast<std::uint64_t>(out_ - start_);
}

void Emitter::commit() {
  const auto size = static_cast<std::size_t>(out_ - start_);
  sink_->count += size;
  switch (destination_) {
    case Destination::File:
      file_->buffered_ += size;
      start_ = out_;
      return;
    case Destination::Memory:
      append_run(*memory_, start_, size);
      start_ = out_ = memory_room_;
      return;
    case Destination::Elsewhere:
      return;
  }
}

void Emitter::rewind(std::uint64_t position) {
  const std::uint64_t count = sink_->count;
  if (position > this->position()) fatal_error("a writer rewound past its own end");
  if (position >= count) {
    out_ = start_ + (position - count);
    return;
  }
  // Before the last commit: only what the destination still holds can be taken back.
  const std::uint64_t dropped = count - position;
  switch (destination_) {
    case Destination::File:
      if (dropped > file_->buffered_) break;
      file_->buffered_ -= static_cast<std::size_t>(dropped);
      sink_->count = position;
      open_file_run();
      return;
    case Destination::Memory:
      if (dropped > memory_->size()) break;
      memory_->resize(memory_->size() - static_cast<std::size_t>(dropped));
      sink_->count = position;
      start_ = out_ = memory_room_;
      return;
    case Destination::Elsewhere:
      break;
  }
  fatal_error("a writer rewound past bytes that have left its destination's memory");
}

void Emitter::restart() {
  status_ = Status();
  switch (destination_) {
    case Destination::File:
      open_file_run();
      return;
    case Destination::Memory:
      start_ = out_ = memory_room_;
      limit_ = memory_room_ + memory_room;
      return;
    case Destination::Elsewhere:
      return;
  }
}

void Emitter::fail(Status error) {
  status_ = std::move(error);
  // No room is left: every later token asks reserve_slow, which reports the error.
  limit_ = out_;
}

Status Emitter::settle_guard() {
  if (guard_check_ == nullptr) return {};
  Status checked = guard_check_(guard_context_);
  guard_check_ = nullptr;
  if (!checked.ok()) rewind(guard_start_);
  return checked;
}

IoError Emitter::refuse(IoError error) {
  if (guard_check_ != nullptr) {
    guard_check_ = nullptr;
    rewind(guard_start_);
  }
  return error;
}

char* Emitter::reserve_slow(std::size_t size) {
  if (!status_.ok()) return nullptr;
  commit();
  switch (destination_) {
    case Destination::File: {
      if (size > BufferedFileWriter::capacity || file_->buffer_ == nullptr) return nullptr;
      // A guarded value that started in the buffer stays there: only the bytes before it are
      // written out, so that it can still be taken back. One that fills the buffer alone is
      // checked whole first, and then goes out like any other bytes.
      const std::uint64_t buffered_from = sink_->count - file_->buffered_;
      std::size_t keep = 0;
      if (guard_check_ != nullptr && guard_start_ >= buffered_from) {
        keep = static_cast<std::size_t>(sink_->count - guard_start_);
      }
      if (guard_check_ != nullptr &&
          (keep == file_->buffered_ || BufferedFileWriter::capacity - keep < size)) {
        if (Status settled = settle_guard(); !settled.ok()) {
          fail(std::move(settled));
          return nullptr;
        }
        keep = 0;
      }
      if (Status flushed = file_->flush_front(file_->buffered_ - keep); !flushed.ok()) {
        // The write ends here: the value it kept back is never finished, so it is not left for
        // a last flush to write out half made.
        if (keep > 0) rewind(guard_start_);
        open_file_run();
        fail(std::move(flushed));
        return nullptr;
      }
      open_file_run();
      return static_cast<std::size_t>(limit_ - out_) >= size ? out_ : nullptr;
    }
    case Destination::Memory:
      // The string can always be cut back: a guard never needs its check here.
      return size <= memory_room ? out_ : nullptr;
    case Destination::Elsewhere:
      // Every byte given to a callback is gone for good.
      if (Status settled = settle_guard(); !settled.ok()) fail(std::move(settled));
      return nullptr;
  }
  return nullptr;
}

Status Emitter::write_slow(std::string_view bytes) {
  if (!status_.ok()) return status_;
  commit();
  // Bytes that fit what the buffer has free are copied in without a write; any others write out
  // the buffer, guarded bytes included, and a callback takes them for good.
  const bool leaves_memory = destination_ == Destination::Elsewhere ||
                             (destination_ == Destination::File &&
                              (file_->buffer_ == nullptr ||
                               bytes.size() >= BufferedFileWriter::capacity - file_->buffered_));
  if (leaves_memory) {
    if (Status settled = settle_guard(); !settled.ok()) {
      fail(settled);
      return settled;
    }
  }
  Status written = sink_->write_all(bytes);
  if (destination_ == Destination::File) open_file_run();
  if (!written.ok()) fail(written);
  return written;
}

}  // namespace vantril::detail
