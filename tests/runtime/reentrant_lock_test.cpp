// The re-entrant lock: the holder may take it again, others wait, and the count never wraps.
#include "runtime/command/reentrant_lock.hpp"

#include <gtest/gtest.h>

#include <limits>
#include <thread>

namespace vantril {
namespace {

bool other_thread_can_take(ReentrantLock& lock) {
  bool taken = false;
  std::thread other([&] {
    taken = lock.try_lock();
    if (taken) lock.unlock();
  });
  other.join();
  return taken;
}

TEST(ReentrantLock, HolderTakesItAgainAndOthersOnlyAfterTheLastRelease) {
  ReentrantLock lock;
  lock.lock();
  EXPECT_TRUE(lock.try_lock());
  lock.lock();
  EXPECT_EQ(lock.count, 3u);
  EXPECT_FALSE(other_thread_can_take(lock));
  lock.unlock();
  lock.unlock();
  EXPECT_FALSE(other_thread_can_take(lock));
  lock.unlock();
  EXPECT_TRUE(other_thread_can_take(lock));
}

TEST(ReentrantLockDeathTest, TakingItPastTheCountEndsTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(
      {
        ReentrantLock lock;
        lock.lock();
        lock.count = std::numeric_limits<std::uint32_t>::max();
        lock.lock();
      },
      "lock count overflow in reentrant mutex");
}

}  // namespace
}  // namespace vantril
