// Flate (zlib-format) compression for the writer, through libdeflate when the build has it. The
// same input, level and libdeflate version always give the same bytes, on any thread. Defined in
// flate/libdeflate.cpp, or flate/unavailable.cpp in a build without it.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "vantril/error.hpp"

namespace vantril {

// Whether this build has libdeflate.
bool flate_available();

// Bytes in one heap block, uninitialised when made: compression output and object-stream text.
struct ByteBuffer {
  std::unique_ptr<char[]> bytes;
  std::size_t size = 0;

  std::string_view view() const { return {bytes.get(), size}; }
};

// One libdeflate compressor at one level, owned. Not shared between threads.
struct FlateCompressor {
  struct Deleter {
    void operator()(void* compressor) const;
  };
  std::unique_ptr<void, Deleter> handle;
};

// A compressor for the level (1 to 12). Only called when flate_available(); allocation failure
// ends the process like any other.
FlateCompressor make_flate_compressor(int level);

// The zlib-format compression of `data` when it is smaller than `data`; otherwise an empty buffer
// (no bytes block), and the caller keeps the data raw.
ByteBuffer deflate_if_smaller(FlateCompressor& compressor, std::string_view data);

// A cheap guess whether compressing `data` is worth trying: samples from its start, middle and
// end are compressed with `probe` (a fast level) and the data counts as compressible when any
// sample shrinks by more than 1/64. Small data is always tried in full. Random or already
// compressed data, the common incompressible streams, is recognised after 48 KiB of work.
bool worth_compressing(FlateCompressor& probe, std::string_view data);

// A buffer to compress and a number its maker wants back with the result, or the error that kept
// the maker from making it.
struct FlateInput {
  ByteBuffer data;
  std::size_t note = 0;
  std::optional<IoError> error;
};

// Makes and compresses buffers in order of submission: on one helper thread while the
// submitting thread goes on with other work, and on the submitting thread too once it waits in
// finish(). Each buffer is made and compressed on its own, so the results do not depend on which
// thread did which. A maker may run on either thread at any time until finish() returns: what
// it reads must not change meanwhile.
class FlateQueue {
 public:
  // One compressor per thread at the level; `helper` starts the helper thread.
  FlateQueue(int level, bool helper);
  ~FlateQueue();
  FlateQueue(const FlateQueue&) = delete;
  FlateQueue& operator=(const FlateQueue&) = delete;

  // Queues the making of a buffer; its result has the next index (0, 1, ...).
  void submit(std::function<FlateInput()> make);

  // A buffer's compression, or the buffer itself with `compressed` false when compression did
  // not make it smaller; with the maker's note.
  struct Output {
    ByteBuffer data;
    bool compressed = false;
    std::size_t note = 0;
    std::optional<IoError> error;  // the maker's; nothing was compressed
  };
  // Waits for every queued buffer, making and compressing on this thread too, and returns the
  // outputs in submission order.
  std::vector<Output> finish();

  // The queue, its outputs and the helper thread; kept out of this header so that builds without
  // libdeflate need no thread support.
  struct State;

 private:
  std::unique_ptr<State> state_;
};

}  // namespace vantril
