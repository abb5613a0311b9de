// The re-entrant lock behind standard output.
#include "runtime/command/reentrant_lock.hpp"

#include <limits>

#include "runtime/fatal.hpp"

namespace vantril {

namespace {

// Only the owner can find its own id in `owner`, so this read needs no ordering with others.
bool held_by_caller(const ReentrantLock& lock) {
  return lock.owner.load(std::memory_order_relaxed) == std::this_thread::get_id();
}

void take_again(ReentrantLock& lock) {
  if (lock.count == std::numeric_limits<std::uint32_t>::max()) {
    fatal_error("lock count overflow in reentrant mutex");
  }
  ++lock.count;
}

}  // namespace

void ReentrantLock::lock() {
  if (held_by_caller(*this)) {
    take_again(*this);
    return;
  }
  mutex.lock();
  owner.store(std::this_thread::get_id(), std::memory_order_relaxed);
  count = 1;
}

bool ReentrantLock::try_lock() {
  if (held_by_caller(*this)) {
    take_again(*this);
    return true;
  }
  if (!mutex.try_lock()) return false;
  owner.store(std::this_thread::get_id(), std::memory_order_relaxed);
  count = 1;
  return true;
}

void ReentrantLock::unlock() {
  if (--count == 0) {
    owner.store(std::thread::id(), std::memory_order_relaxed);
    mutex.unlock();
  }
}

}  // namespace vantril
