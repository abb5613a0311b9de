// The storage of the model's small blocks: the element blocks of arrays and the entry blocks of
// dictionaries. They come from pages of one block size each, carved out of large segments that
// the system maps a few megabytes at a time, so that building a million objects makes a few
// hundred mappings instead of millions of heap allocations, and no block carries a heap header.
// Each thread keeps a few free blocks of each size; a page whose blocks are all free again goes
// back to its segment, and an empty segment back to the system.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vantril::detail {

// Blocks of up to this many bytes come from the pool; larger ones from operator new.
inline constexpr std::size_t largest_pooled_block = 1024;

// A block of `bytes` bytes (a multiple of 8, more than zero), aligned to 8. Throws
// std::bad_alloc when the system refuses memory, as operator new does.
void* allocate_block(std::size_t bytes);
// Returns a block that allocate_block gave for the same size, from any thread.
void free_block(void* block, std::size_t bytes) noexcept;

// What the pool holds now, for tests and benchmarks.
struct PoolFigures {
  // Bytes mapped from the system for pages, in use or not.
  std::uint64_t mapped_bytes = 0;
  // Pages that have at least one block out.
  std::uint64_t pages_in_use = 0;
};
PoolFigures pool_figures();

}  // namespace vantril::detail
