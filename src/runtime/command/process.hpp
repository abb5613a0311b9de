// The process entry: runs the command on the main thread and turns its return into status 0.
#pragma once

namespace vantril {

// Runs command; returns the exit status for main() after standard output has been flushed.
int process_entry(void (*command)());

}  // namespace vantril
