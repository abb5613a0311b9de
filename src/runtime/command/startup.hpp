// What a command prepares before it runs, one implementation per platform
// (runtime/command/posix/startup.cpp, runtime/command/windows/startup.cpp). The library never
// calls it: a program that links the library keeps its own signal dispositions.
#pragma once

namespace vantril::os {

// Process start-up work that must precede the command (on POSIX: SIGPIPE is ignored so that a
// vanished reader becomes an EPIPE error instead of a silent death).
void initialize_process();

}  // namespace vantril::os
