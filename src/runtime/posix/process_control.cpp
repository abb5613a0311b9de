// POSIX process services: thread ids, random seeds, stack traces and the immediate end.
#include <execinfo.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/random.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include "runtime/platform.hpp"

namespace vantril::os {

std::uint64_t current_thread_id() { return static_cast<std::uint64_t>(::gettid()); }

std::uint64_t random_seed() {
  std::uint64_t seed = 0;
  auto* bytes = reinterpret_cast<unsigned char*>(&seed);
  std::size_t filled = 0;
  while (filled < sizeof seed) {
    const ssize_t got = ::getrandom(bytes + filled, sizeof seed - filled, 0);
    if (got > 0) {
      filled += static_cast<std::size_t>(got);
    } else if (got < 0 && errno != EINTR) {
      break;
    }
  }
  if (filled == sizeof seed) return seed;
  // No getrandom (old kernel, seccomp filter): the seed only spreads hash buckets, so a mix of
  // time, process and address is good enough.
  const auto now =
      static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  std::uint64_t mixed = now ^ (static_cast<std::uint64_t>(::getpid()) << 32) ^
                        static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(&seed));
  // splitmix64 finaliser, so nearby inputs give unrelated seeds.
  mixed += 0x9e3779b97f4a7c15ULL;
  mixed = (mixed ^ (mixed >> 30)) * 0xbf58476d1ce4e5b9ULL;
  mixed = (mixed ^ (mixed >> 27)) * 0x94d049bb133111ebULL;
  return mixed ^ (mixed >> 31);
}

[[noreturn]] void fail_fast() {
  // A handler installed for SIGABRT (by a library or a test harness) must not get to run code
  // or turn the end into a return; with the default action abort() ends the process at once.
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  (void)::sigaction(SIGABRT, &action, nullptr);
  std::abort();
}

bool stack_traces_enabled() {
  static const bool enabled = [] {
    // The name views a string literal, so its data is NUL-terminated.
    const char* value = std::getenv(stack_trace_variable.data());
    return value != nullptr && std::strcmp(value, "0") != 0;
  }();
  return enabled;
}

void print_stack_trace() {
  constexpr int max_frames = 64;
  void* frames[max_frames];
  const int count = ::backtrace(frames, max_frames);
  // backtrace_symbols_fd writes straight to the descriptor and allocates nothing.
  ::backtrace_symbols_fd(frames, count, STDERR_FILENO);
}

}  // namespace vantril::os
