// The destination of every byte a save writes, with the running count that gives every offset.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "vantril/error.hpp"
#include "vantril/writer/buffered_file_writer.hpp"

namespace vantril {

// A destination given as a plain function and its context, for callers that need to watch or
// refuse individual appends (tests fail the n-th append or throw bytes away with it).
struct CallbackDestination {
  Status (*append)(void* context, std::string_view bytes);
  void* context;
};

// Where the counted bytes go: a growable byte buffer in memory (never fails), the buffered output
// file of a save, or a callback. The sink refers to the destination without owning it.
using SinkDestination = std::variant<std::string*, BufferedFileWriter*, CallbackDestination>;

// Counts and forwards bytes; construct it over a std::string for output in memory. The
// destination is fixed when the sink is made.
struct CountingSink {
  // Bytes handed to the sink so far. Counted before the destination sees them, so after a
  // failed write it includes that write's bytes; a save stops there and never reads it again.
  std::uint64_t count = 0;

  explicit CountingSink(std::string& memory) : destination_(&memory) {}
  explicit CountingSink(BufferedFileWriter& writer) : destination_(&writer) {}
  explicit CountingSink(CallbackDestination callback) : destination_(callback) {}

  // Hands all the bytes to the destination; fails with the destination's error. The buffered
  // file, the destination of every save, is tested first and its fast path is inlined here.
  Status write_all(std::string_view bytes) {
    count += bytes.size();
    if (BufferedFileWriter* file = buffered_file()) return file->write_all(bytes);
    return write_elsewhere(bytes);
  }

  // A token of fixed text ("<<", " R", "\nendobj\n"): with room in the buffered file it is a
  // copy of a size known when compiling; otherwise an ordinary append.
  template <std::size_t N>
  Status write_text(const char (&text)[N]) {
    constexpr std::size_t size = N - 1;
    if (BufferedFileWriter* file = buffered_file()) {
      if (char* room = file->room(size)) {
        std::memcpy(room, text, size);
        file->commit(size);
        count += size;
        return {};
      }
    }
    return write_all(std::string_view(text, size));
  }

  // The longest token that may be formed in place.
  static constexpr std::size_t token_capacity = 96;

  // Where a token of at most `most` bytes (at most token_capacity) is formed in place: the
  // buffered file's free room when it has that much, else the sink's own scratch area. The
  // serializer writes number digits and short names straight there instead of building them
  // elsewhere and copying. finish_token(end) then appends the bytes from the start to `end` as
  // one append, which in the buffered file's room cannot fail. Nothing counts as appended before.
  char* start_token(std::size_t most) {
    if (BufferedFileWriter* file = buffered_file()) {
      if (char* room = file->room(most)) return token_ = room;
    }
    return token_ = scratch_;
  }
  Status finish_token(const char* end) {
    const auto size = static_cast<std::size_t>(end - token_);
    if (token_ != scratch_) {
      buffered_file()->commit(size);
      count += size;
      return {};
    }
    return write_all(std::string_view(scratch_, size));
  }

  // The buffered file's whole free room, for a run of tokens formed in place and appended with
  // finish_token(end) as one; empty when the destination is not the buffered file. Nothing
  // counts as appended before finish_token.
  std::span<char> start_run() {
    if (BufferedFileWriter* file = buffered_file()) {
      const std::size_t free = BufferedFileWriter::capacity - file->buffered().size();
      if (char* room = file->room(free)) {
        token_ = room;
        return {room, free};
      }
    }
    return {};
  }
  // Whether free_room would make more room: the destination is the buffered file and holds bytes.
  bool can_free_room() const {
    const BufferedFileWriter* file = buffered_file();
    return file != nullptr && !file->buffered().empty();
  }
  // Writes out the buffered file's bytes, so that the next run has the whole buffer; fails with
  // the system's error. Nothing for any other destination.
  Status free_room() {
    if (BufferedFileWriter* file = buffered_file()) return file->flush_buffer();
    return {};
  }

 private:
  // The destination when it is the buffered file, else null.
  BufferedFileWriter* buffered_file() const {
    BufferedFileWriter* const* file = std::get_if<BufferedFileWriter*>(&destination_);
    return file != nullptr ? *file : nullptr;
  }
  Status write_elsewhere(std::string_view bytes) {
    if (std::string* const* memory = std::get_if<std::string*>(&destination_)) {
      (*memory)->append(bytes);
      return {};
    }
    const CallbackDestination& callback = *std::get_if<CallbackDestination>(&destination_);
    return callback.append(callback.context, bytes);
  }

  SinkDestination destination_;
  // The start of the token being formed: in the buffered file's room or in scratch_.
  char* token_ = nullptr;
  char scratch_[token_capacity];
};

}  // namespace vantril
