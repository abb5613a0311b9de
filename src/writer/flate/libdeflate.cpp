// Flate compression through libdeflate's whole-buffer interface, and the queue that makes and
// compresses object streams on a helper thread while the save goes on with the body.
#include <libdeflate.h>

#include <condition_variable>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

#include "runtime/fatal.hpp"
#include "writer/flate.hpp"

namespace vantril {

namespace {

libdeflate_compressor* raw(FlateCompressor& compressor) {
  return static_cast<libdeflate_compressor*>(compressor.handle.get());
}

// Compresses into room for one byte less than the input: libdeflate reports 0 when the output
// does not fit, which is exactly "not smaller".
std::size_t deflate_into(FlateCompressor& compressor, std::string_view data, char* out,
                         std::size_t room) {
  return libdeflate_zlib_compress(raw(compressor), data.data(), data.size(), out, room);
}

}  // namespace

bool flate_available() { return true; }

void FlateCompressor::Deleter::operator()(void* compressor) const {
  libdeflate_free_compressor(static_cast<libdeflate_compressor*>(compressor));
}

FlateCompressor make_flate_compressor(int level) {
  libdeflate_compressor* compressor = libdeflate_alloc_compressor(level);
  if (compressor == nullptr) fatal_error("libdeflate could not make a compressor");
  return FlateCompressor{std::unique_ptr<void, FlateCompressor::Deleter>(compressor)};
}

ByteBuffer deflate_if_smaller(FlateCompressor& compressor, std::string_view data) {
  if (data.size() < 2) return {};
  const std::size_t room = data.size() - 1;
  ByteBuffer out{std::unique_ptr<char[]>(new char[room]), 0};
  out.size = deflate_into(compressor, data, out.bytes.get(), room);
  if (out.size == 0) return {};
  // Well compressed output would otherwise keep the whole input's size allocated.
  if (out.size < room / 2) {
    std::unique_ptr<char[]> exact(new char[out.size]);
    std::memcpy(exact.get(), out.bytes.get(), out.size);
    out.bytes = std::move(exact);
  }
  return out;
}

bool worth_compressing(FlateCompressor& probe, std::string_view data) {
  constexpr std::size_t sample = std::size_t{16} * 1024;
  if (data.size() <= 3 * sample) return true;
  constexpr std::size_t room = sample - sample / 64;
  const std::unique_ptr<char[]> out(new char[room]);
  for (const std::size_t at :
       {std::size_t{0}, data.size() / 2 - sample / 2, data.size() - sample}) {
    if (deflate_into(probe, data.substr(at, sample), out.get(), room) != 0) return true;
  }
  return false;
}

struct FlateQueue::State {
  int level;
  std::mutex mutex;
  // The helper waits here for a buffer or for the end.
  std::condition_variable wake;
  // finish() waits here for the helper's last buffer.
  std::condition_variable finished_one;
  std::vector<std::function<FlateInput()>> makers;
  std::vector<Output> outputs;
  std::size_t next = 0;
  std::size_t done = 0;
  bool closing = false;
  std::thread helper;

  // Takes the next maker under the lock, makes and compresses its buffer outside, stores the
  // output under the lock. Returns false when no maker was waiting.
  bool compress_one(FlateCompressor& compressor, std::unique_lock<std::mutex>& lock) {
    if (next == makers.size()) return false;
    const std::size_t index = next++;
    const std::function<FlateInput()> make = std::move(makers[index]);
    lock.unlock();
    FlateInput input = make();
    ByteBuffer packed;
    if (!input.error.has_value()) packed = deflate_if_smaller(compressor, input.data.view());
    Output output = packed.bytes
                        ? Output{std::move(packed), true, input.note, std::nullopt}
                        : Output{std::move(input.data), false, input.note, std::move(input.error)};
    lock.lock();
    outputs[index] = std::move(output);
    ++done;
    return true;
  }

  void help() {
    FlateCompressor compressor = make_flate_compressor(level);
    std::unique_lock<std::mutex> lock(mutex);
    // A queue closed before finish() belongs to a save that failed: its buffers are dropped.
    while (!closing) {
      if (compress_one(compressor, lock)) {
        finished_one.notify_one();
      } else {
        wake.wait(lock);
      }
    }
  }
};

FlateQueue::FlateQueue(int level, bool helper) : state_(std::make_unique<State>()) {
  state_->level = level;
  if (!helper) return;
  try {
    state_->helper = std::thread([state = state_.get()] { state->help(); });
  } catch (const std::system_error&) {
    // No thread to be had: finish() compresses everything on the caller's thread, with the same
    // result.
  }
}

FlateQueue::~FlateQueue() {
  if (!state_->helper.joinable()) return;
  {
    const std::lock_guard<std::mutex> lock(state_->mutex);
    state_->closing = true;
  }
  state_->wake.notify_one();
  state_->helper.join();
}

void FlateQueue::submit(std::function<FlateInput()> make) {
  {
    const std::lock_guard<std::mutex> lock(state_->mutex);
    state_->makers.push_back(std::move(make));
    state_->outputs.emplace_back();
  }
  state_->wake.notify_one();
}

std::vector<FlateQueue::Output> FlateQueue::finish() {
  State& state = *state_;
  FlateCompressor compressor = make_flate_compressor(state.level);
  std::unique_lock<std::mutex> lock(state.mutex);
  while (state.compress_one(compressor, lock)) {
  }
  state.finished_one.wait(lock, [&state] { return state.done == state.makers.size(); });
  std::vector<Output> outputs = std::move(state.outputs);
  state.outputs.clear();
  state.makers.clear();
  state.next = 0;
  state.done = 0;
  return outputs;
}

}  // namespace vantril
