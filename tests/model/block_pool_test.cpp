// The model's block pool: blocks never overlap, whatever the mix of sizes and the order of
// freeing; blocks freed on another thread than the one that took them are accepted; and once
// the threads that used them have ended, every page goes back and the memory to the system.
#include "model/block_pool.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include "vantril/model/document.hpp"

namespace vantril {
namespace {

using detail::allocate_block;
using detail::free_block;
using detail::pool_figures;

struct Held {
  unsigned char* block;
  std::size_t bytes;
  unsigned char fill;
};

void fill(const Held& held) { std::memset(held.block, held.fill, held.bytes); }

// Every byte of the block still holds its own fill: no other block was placed over it.
bool intact(const Held& held) {
  for (std::size_t at = 0; at < held.bytes; ++at) {
    if (held.block[at] != held.fill) return false;
  }
  return true;
}

// Random sizes up to beyond the pooled ones, random frees among the live blocks.
void churn(std::uint32_t seed, std::size_t steps) {
  std::mt19937 random(seed);
  std::vector<Held> live;
  std::size_t broken = 0;
  for (std::size_t step = 0; step < steps; ++step) {
    if (live.empty() || random() % 3 != 0) {
      const std::size_t bytes = 8 * (1 + random() % 140);
      const Held held{static_cast<unsigned char*>(allocate_block(bytes)), bytes,
                      static_cast<unsigned char>(random())};
      ASSERT_EQ(reinterpret_cast<std::uintptr_t>(held.block) % 8, 0u);
      fill(held);
      live.push_back(held);
    } else {
      const std::size_t at = random() % live.size();
      if (!intact(live[at])) ++broken;
      free_block(live[at].block, live[at].bytes);
      live[at] = live.back();
      live.pop_back();
    }
  }
  for (const Held& held : live) {
    if (!intact(held)) ++broken;
    free_block(held.block, held.bytes);
  }
  EXPECT_EQ(broken, 0u);
}

TEST(BlockPool, BlocksNeverOverlapAndPagesGoBackWhenTheThreadsEnd) {
  const detail::PoolFigures before = pool_figures();
  std::vector<std::thread> threads;
  for (std::uint32_t seed = 1; seed <= 3; ++seed) threads.emplace_back(churn, seed, 200000);
  for (std::thread& thread : threads) thread.join();
  const detail::PoolFigures after = pool_figures();
  EXPECT_EQ(after.pages_in_use, before.pages_in_use);
  EXPECT_LE(after.mapped_bytes, before.mapped_bytes);
}

TEST(BlockPool, ADocumentBuiltOnOneThreadIsFreedOnAnother) {
  const detail::PoolFigures before = pool_figures();
  Document document;
  std::thread building([&] {
    for (std::uint32_t number = 1; number <= 50000; ++number) {
      put_object(document, {number, 0},
                 Dictionary::from_pairs({{"Type", Name("Annot")},
                                         {"Rect", make_array(0, 0, number, number)},
                                         {"C", make_array(0.5, 0.25, 1)}}));
    }
  });
  building.join();
  EXPECT_GT(pool_figures().pages_in_use, before.pages_in_use);
  std::thread freeing([&] { document = Document(); });
  freeing.join();
  const detail::PoolFigures after = pool_figures();
  EXPECT_EQ(after.pages_in_use, before.pages_in_use);
  EXPECT_LE(after.mapped_bytes, before.mapped_bytes);
}

}  // namespace
}  // namespace vantril
