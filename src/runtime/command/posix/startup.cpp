// POSIX start-up of a command: SIGPIPE ignored, and the unwinder loaded early when stack traces
// are asked for.
#include "runtime/command/startup.hpp"

#include <execinfo.h>
#include <signal.h>

#include "runtime/platform.hpp"

namespace vantril::os {

void initialize_process() {
  // A reader that went away must surface as an EPIPE error on the write, not kill the process.
  (void)::signal(SIGPIPE, SIG_IGN);
  if (stack_traces_enabled()) {
    // The first backtrace() loads the unwinder, which allocates; do it now rather than while
    // a report is being written, possibly for a failed allocation.
    void* frame = nullptr;
    (void)::backtrace(&frame, 1);
  }
}

}  // namespace vantril::os
