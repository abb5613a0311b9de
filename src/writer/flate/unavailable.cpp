// The build without libdeflate: nothing compresses. Saves refuse compression before they get
// here (check_save_options), so reaching any of these is a broken invariant.
#include "runtime/fatal.hpp"
#include "writer/flate.hpp"

namespace vantril {

bool flate_available() { return false; }

void FlateCompressor::Deleter::operator()(void*) const {}

FlateCompressor make_flate_compressor(int) {
  fatal_error("Flate compression was asked of a build without libdeflate");
}

ByteBuffer deflate_if_smaller(FlateCompressor&, std::string_view) {
  fatal_error("Flate compression was asked of a build without libdeflate");
}

bool worth_compressing(FlateCompressor&, std::string_view) {
  fatal_error("Flate compression was asked of a build without libdeflate");
}

struct FlateQueue::State {};

FlateQueue::FlateQueue(int, bool) {
  fatal_error("Flate compression was asked of a build without libdeflate");
}

FlateQueue::~FlateQueue() = default;

// The signatures are the queue's own; only the build with libdeflate can use them.
// NOLINTNEXTLINE(readability-convert-member-functions-to-static,performance-unnecessary-value-param)
void FlateQueue::submit(std::function<FlateInput()>) {
  fatal_error("Flate compression was asked of a build without libdeflate");
}

// NOLINTNEXTLINE(readability-convert-member-functions-to-static)
std::vector<FlateQueue::Output> FlateQueue::finish() {
  fatal_error("Flate compression was asked of a build without libdeflate");
}

}  // namespace vantril
