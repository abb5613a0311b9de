// A lock the holding thread may take again, as standard output needs when a report is raised
// while it is being written. Its hold count is 32 bits; passing that is a broken invariant.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>

namespace vantril {

struct ReentrantLock {
  std::mutex mutex;
  std::atomic<std::thread::id> owner{};
  // How often the owner holds it; touched only by the owner.
  std::uint32_t count = 0;

  // Ends the process with "lock count overflow in reentrant mutex" instead of wrapping.
  void lock();
  bool try_lock();
  void unlock();
};

}  // namespace vantril
