// A call as each thread ends: a fiber-local slot, whose callback the system calls with the
// thread's value as the thread exits, before the thread's emulated thread-local variables are
// released.
#include <windows.h>

#include "runtime/platform.hpp"

namespace vantril::os {

namespace {

void (*thread_exit_call)(void*) = nullptr;

void NTAPI on_slot_freed(void* value) {
  if (value != nullptr) thread_exit_call(value);
}

}  // namespace

bool call_at_thread_exit(void (*at_exit)(void*), void* value) {
  static const DWORD slot = [at_exit] {
    thread_exit_call = at_exit;
    return ::FlsAlloc(on_slot_freed);
  }();
  return slot != FLS_OUT_OF_INDEXES && ::FlsSetValue(slot, value) != FALSE;
}

}  // namespace vantril::os
