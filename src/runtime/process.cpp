// The process entry: start-up, the command on the main thread, then the flush at the normal end.
#include "runtime/process.hpp"

#include "runtime/fatal.hpp"
#include "runtime/platform.hpp"
#include "runtime/standard_output.hpp"

namespace vantril {

int process_entry(void (*command)()) {
  os::initialize_process();
  mark_main_thread();
  command();
  standard_output_flush_at_exit();
  return 0;
}

}  // namespace vantril
