// The destination of every byte a save writes, with the running count that gives every offset.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "vantril/error.hpp"
#include "vantril/writer/buffered_file_writer.hpp"

namespace vantril {

namespace detail {
class Emitter;
}  // namespace detail

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

  // The writers of values form their bytes straight in the destination's memory.
  friend class detail::Emitter;

  SinkDestination destination_;
};

}  // namespace vantril
