// Thread identity and the immediate abnormal end.
#include <windows.h>

#include "runtime/platform.hpp"

namespace vantril::os {

std::uint64_t current_thread_id() { return GetCurrentThreadId(); }

void fail_fast() {
  // The fail-fast service (what __fastfail raises), with code 7, a fatal application exit: the
  // system ends the process at once with status 0xC0000409; no handler, no exit routine runs.
  __asm__ volatile("int $0x29" : : "c"(7) : "memory");
  __builtin_unreachable();
}

}  // namespace vantril::os
