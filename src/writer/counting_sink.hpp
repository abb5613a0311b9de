// The destination of every byte a save writes, with the running count that gives every offset.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "runtime/result.hpp"
#include "writer/buffered_file_writer.hpp"

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

// Counts and forwards bytes; construct it over a std::string for output in memory.
struct CountingSink {
  SinkDestination destination;
  // Bytes handed to the sink so far. Counted before the destination sees them, so after a
  // failed write it includes that write's bytes; a save stops there and never reads it again.
  std::uint64_t count = 0;

  explicit CountingSink(std::string& memory) : destination(&memory) {}
  explicit CountingSink(BufferedFileWriter& writer) : destination(&writer), file_(&writer) {}
  explicit CountingSink(CallbackDestination callback) : destination(callback) {}

  // Hands all the bytes to the destination; fails with the destination's error. The serializer
  // calls this for every token, so the buffered file, the destination of every save, is tested
  // first and its fast path is inlined here.
  Status write_all(std::string_view bytes) {
    count += bytes.size();
    if (file_ != nullptr) return file_->write_all(bytes);
    return write_elsewhere(bytes);
  }

 private:
  Status write_elsewhere(std::string_view bytes) {
    if (std::string* const* memory = std::get_if<std::string*>(&destination)) {
      (*memory)->append(bytes);
      return {};
    }
    const CallbackDestination& callback = *std::get_if<CallbackDestination>(&destination);
    return callback.append(callback.context, bytes);
  }

  // The destination when it is the buffered file, else null.
  BufferedFileWriter* file_ = nullptr;
};

}  // namespace vantril
