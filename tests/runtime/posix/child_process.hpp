// Runs a piece of code in a forked child and collects how it ended and what it wrote, byte for
// byte, so tests can check reports that end the process.
#pragma once

#include <functional>
#include <string>

#include "runtime/platform.hpp"
#include "vantril/error.hpp"

namespace vantril::testing_support {

struct ChildOutcome {
  bool killed = false;  // ended by a signal (then signal is set), else exit_status is
  int signal = 0;
  int exit_status = 0;
  int pid = 0;
  std::string standard_output;
  std::string standard_error;
};

// The child starts without the stack-trace variable set; a body that returns exits with 0.
ChildOutcome run_in_child(const std::function<void()>& body);

// A write seam that passes every write on to the system wrapped in brackets, so captured text
// shows how many writes there were and where each began and ended.
Result<std::size_t> bracketing_write(os::NativeHandle handle, const char* data, std::size_t size);

}  // namespace vantril::testing_support
