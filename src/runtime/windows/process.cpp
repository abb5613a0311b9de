// Process start-up, thread identity and the immediate abnormal end.
#include <windows.h>

#include "runtime/platform.hpp"

namespace vantril::os {

// Nothing to prepare: a write to a vanished pipe reader already fails with an error code on
// Windows, and the console path converts to UTF-16 itself, whatever the code page.
void initialize_process() {}

std::uint64_t current_thread_id() { return GetCurrentThreadId(); }

void fail_fast() {
  // The fail-fast service (what __fastfail raises), with code 7, a fatal application exit: the
  // system ends the process at once with status 0xC0000409; no handler, no exit routine runs.
  __asm__ volatile("int $0x29" : : "c"(7) : "memory");
  __builtin_unreachable();
}

}  // namespace vantril::os
