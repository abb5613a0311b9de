// Standard output with its line buffering, for the commands; the library itself never writes to
// standard output.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

#include "vantril/error.hpp"

namespace vantril {

// The line writer's state: complete lines go out at once, a trailing partial line waits.
struct LineWriter {
  static constexpr std::size_t capacity = 1024;
  // Writes bytes to the destination once; returns the count accepted or an error.
  using RawWrite = Result<std::size_t> (*)(const char* data, std::size_t size);

  RawWrite raw_write;
  std::array<char, capacity> buffer{};
  std::size_t buffered = 0;
};

// Hands bytes to the line writer under the line-writing rules.
Status line_writer_write(LineWriter& writer, std::string_view bytes);

// Writes out everything buffered.
Status line_writer_flush(LineWriter& writer);

// Writes bytes to the process's standard output under its re-entrant lock.
Status standard_output_write(std::string_view bytes);

// Flushes standard output at the normal end of the process, if its lock can be taken at once.
void standard_output_flush_at_exit();

}  // namespace vantril
