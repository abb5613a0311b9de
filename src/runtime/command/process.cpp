// The process entry: start-up, the command on the main thread, then the flush at the normal end.
#include "runtime/command/process.hpp"

#include "runtime/command/standard_output.hpp"
#include "runtime/command/startup.hpp"
#include "runtime/fatal.hpp"

namespace vantril {

int process_entry(void (*command)()) {
  os::initialize_process();
  mark_main_thread();
  command();
  standard_output_flush_at_exit();
  return 0;
}

}  // namespace vantril
