// The pool of the model's small blocks. A segment of system memory is split into pages aligned
// to their size; a page starts with its header and holds blocks of one size, so that the page
// of any block is its address rounded down. Each thread takes blocks in batches from the
// pages and gives them back in batches, so that the one lock is taken once every few dozen
// blocks; a page counts the blocks it has handed out, and goes back to its segment when the
// count falls to zero.
#include "model/block_pool.hpp"

#include <cstring>
#include <mutex>
#include <new>

#include "runtime/platform.hpp"

#if defined(__SANITIZE_ADDRESS__)
#define VANTRIL_POOL_POISONS 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VANTRIL_POOL_POISONS 1
#endif
#endif
#if defined(VANTRIL_POOL_POISONS)
#include <sanitizer/asan_interface.h>
#endif

namespace vantril::detail {

namespace {

constexpr std::size_t page_size = std::size_t{1} << 16;
constexpr std::size_t pages_per_segment = 32;
constexpr std::size_t segment_size = page_size * pages_per_segment;
constexpr std::size_t granule = 8;
// Once the pool holds this much, each new segment is made present in one call as it is mapped
// instead of one page fault at a time as its pages are first written: a program that has built
// that many values is building more, and on a virtual machine, where each fault may also make
// the host provide the page, that halved the time to touch fresh memory. Smaller programs keep
// their pages unmade until used, and so their memory small.
constexpr std::uint64_t prefaulted_after = 4 * segment_size;
constexpr std::size_t class_count = largest_pooled_block / granule + 1;

// A free block holds the next free block's address in its first bytes.
struct FreeBlock {
  FreeBlock* next;
};

// Under AddressSanitizer a free block's bytes after its link are poisoned, so that a use after
// free or an overrun into a free neighbour is still reported.
void poison_free(FreeBlock* block, std::size_t bytes) {
#if defined(VANTRIL_POOL_POISONS)
  ASAN_POISON_MEMORY_REGION(reinterpret_cast<char*>(block) + sizeof(FreeBlock),
                            bytes - sizeof(FreeBlock));
#else
  (void)block;
  (void)bytes;
#endif
}

void unpoison(void* block, std::size_t bytes) {
#if defined(VANTRIL_POOL_POISONS)
  ASAN_UNPOISON_MEMORY_REGION(block, bytes);
#else
  (void)block;
  (void)bytes;
#endif
}

struct Segment;

// The first bytes of every page.
struct alignas(64) Page {
  std::uint32_t block_size = 0;
  // Blocks handed out, to threads' caches or to values.
  std::uint32_t used = 0;
  // Blocks given back, then the never-used rest of the page from `bump` to `end`.
  FreeBlock* free = nullptr;
  char* bump = nullptr;
  char* end = nullptr;
  // The pages of one size with a block to give, in a list.
  Page* previous = nullptr;
  Page* next = nullptr;
  Segment* segment = nullptr;
  bool listed = false;

  bool has_room() const { return free != nullptr || bump != end; }
};
static_assert(sizeof(Page) <= 64);

struct Segment {
  char* base = nullptr;
  std::uint32_t used_pages = 0;
  bool page_used[pages_per_segment] = {};
  Segment* previous = nullptr;
  Segment* next = nullptr;
};

// Everything shared, under one lock. Never destroyed: a value destroyed during the process's
// exit still finds it.
struct Central {
  std::mutex lock;
  Page* pages_with_room[class_count] = {};
  // Segments with a page to spare first, full ones apart, so that finding a page never walks
  // past full segments.
  Segment* open_segments = nullptr;
  Segment* full_segments = nullptr;
  std::uint64_t mapped_bytes = 0;
  std::uint64_t pages_in_use = 0;
};

Central& central() {
  static auto* const shared = new Central;
  return *shared;
}

// The page start is found by clearing the low bits of the block's address, which is the point of
// aligning pages to their size.
Page* page_of(const void* block) {
  // NOLINTNEXTLINE(performance-no-int-to-ptr)
  return reinterpret_cast<Page*>(reinterpret_cast<std::uintptr_t>(block) & ~(page_size - 1));
}

// Pages and segments sit in doubly linked lists through their own previous and next fields.
template <class Node>
void link(Node*& head, Node* node) {
  node->previous = nullptr;
  node->next = head;
  if (head != nullptr) head->previous = node;
  head = node;
}

template <class Node>
void unlink(Node*& head, Node* node) {
  if (node->previous != nullptr) {
    node->previous->next = node->next;
  } else {
    head = node->next;
  }
  if (node->next != nullptr) node->next->previous = node->previous;
  node->previous = nullptr;
  node->next = nullptr;
}

// A page is listed while it has a block to give.
void list_page(Page*& head, Page* page) {
  link(head, page);
  page->listed = true;
}

void unlist_page(Page*& head, Page* page) {
  unlink(head, page);
  page->listed = false;
}

// A fresh page for blocks of the size, from a segment with a page to spare; null when the
// system has no memory for another segment. Under the lock.
Page* new_page(Central& shared, std::uint32_t block_size) {
  Segment* segment = shared.open_segments;
  if (segment == nullptr) {
    void* memory = os::map_pool_memory(segment_size);
    if (memory == nullptr) return nullptr;
    segment = new (std::nothrow) Segment;
    if (segment == nullptr) {
      os::unmap_pool_memory(memory, segment_size);
      return nullptr;
    }
    if (shared.mapped_bytes >= prefaulted_after) os::prefault_for_writing(memory, segment_size);
    segment->base = static_cast<char*>(memory);
    link(shared.open_segments, segment);
    shared.mapped_bytes += segment_size;
  }
  std::size_t at = 0;
  while (segment->page_used[at]) ++at;
  segment->page_used[at] = true;
  ++segment->used_pages;
  if (segment->used_pages == pages_per_segment) {
    unlink(shared.open_segments, segment);
    link(shared.full_segments, segment);
  }
  ++shared.pages_in_use;
  char* start = segment->base + at * page_size;
  auto* page = new (start) Page;
  page->block_size = block_size;
  page->bump = start + sizeof(Page);
  page->end = page->bump + (page_size - sizeof(Page)) / block_size * block_size;
  page->segment = segment;
  return page;
}

// A page none of whose blocks is out goes back to its segment, and a segment none of whose
// pages is used back to the system. Under the lock.
void release_page(Central& shared, Page* page) {
  Segment* segment = page->segment;
  const auto at =
      static_cast<std::size_t>(reinterpret_cast<char*>(page) - segment->base) / page_size;
  page->~Page();
  // The page may next hold blocks of another size: none of its old free blocks stays poisoned.
  unpoison(page, page_size);
  segment->page_used[at] = false;
  if (segment->used_pages == pages_per_segment) {
    unlink(shared.full_segments, segment);
    link(shared.open_segments, segment);
  }
  --segment->used_pages;
  --shared.pages_in_use;
  if (segment->used_pages == 0) {
    // Every page was unpoisoned as it went back.
    unlink(shared.open_segments, segment);
    os::unmap_pool_memory(segment->base, segment_size);
    shared.mapped_bytes -= segment_size;
    delete segment;
  }
}

// Up to `wanted` blocks of the size class, chained in the order they were taken: fresh blocks
// then go out at rising addresses, so that values made one after another lie one after another,
// and a walk over them in the order they were made reads memory forwards, as prefetching likes.
// Under the lock.
FreeBlock* take_blocks(Central& shared, std::size_t size_class, std::size_t wanted,
                       std::size_t& taken) {
  const auto block_size = static_cast<std::uint32_t>(size_class * granule);
  FreeBlock* chain = nullptr;
  FreeBlock** tail = &chain;
  taken = 0;
  while (taken < wanted) {
    Page*& head = shared.pages_with_room[size_class];
    if (head == nullptr) {
      Page* page = new_page(shared, block_size);
      // Short of memory, the blocks already taken are enough for this call.
      if (page == nullptr) {
        if (taken != 0) break;
        throw std::bad_alloc();
      }
      list_page(head, page);
    }
    Page* page = head;
    while (taken < wanted && page->has_room()) {
      FreeBlock* block = nullptr;
      if (page->free != nullptr) {
        block = page->free;
        page->free = block->next;
      } else {
        block = reinterpret_cast<FreeBlock*>(page->bump);
        page->bump += block_size;
      }
      block->next = nullptr;
      *tail = block;
      tail = &block->next;
      ++page->used;
      ++taken;
    }
    if (!page->has_room()) unlist_page(head, page);
  }
  return chain;
}

// Gives the chained blocks back to their pages. Under the lock.
void give_blocks(Central& shared, std::size_t size_class, FreeBlock* chain) {
  Page*& head = shared.pages_with_room[size_class];
  while (chain != nullptr) {
    FreeBlock* block = chain;
    chain = chain->next;
    Page* page = page_of(block);
    block->next = page->free;
    page->free = block;
    --page->used;
    if (page->used == 0) {
      if (page->listed) unlist_page(head, page);
      release_page(shared, page);
    } else if (!page->listed) {
      list_page(head, page);
    }
  }
}

// A thread's free blocks of each size class, on the heap. The thread reaches them through a
// plain thread-local pointer, which costs no check of whether a thread-local object is made yet.
// The system hands the same pointer to give_back_cache as the thread ends, so that the blocks go
// back to their pages without relying on the order in which thread-local storage is torn down.
struct Bin {
  FreeBlock* head = nullptr;
  std::uint32_t count = 0;
};
struct Cache {
  Bin bins[class_count];
};
thread_local Cache* thread_cache = nullptr;
// Set once the thread's cache is given back, or when none could be registered: blocks then go
// straight to and from the pages.
thread_local bool thread_uncached = false;

// Blocks a thread takes or gives at once: a batch of about 8 KiB, and at least a few blocks.
std::uint32_t batch_of(std::size_t size_class) {
  const std::size_t blocks = 8192 / (size_class * granule);
  return static_cast<std::uint32_t>(blocks < 4 ? 4 : blocks > 64 ? 64 : blocks);
}

void give_back_cache(void* value) {
  auto* cache = static_cast<Cache*>(value);
  {
    Central& shared = central();
    const std::lock_guard<std::mutex> held(shared.lock);
    for (std::size_t size_class = 1; size_class < class_count; ++size_class) {
      give_blocks(shared, size_class, cache->bins[size_class].head);
    }
  }
  delete cache;
  thread_cache = nullptr;
  thread_uncached = true;
}

// The thread's cache, made by the first block the thread takes or gives; null once it has been
// given back.
[[gnu::noinline]] Cache* make_cache() {
  if (thread_uncached) return nullptr;
  auto* cache = new Cache;
  if (!os::call_at_thread_exit(give_back_cache, cache)) {
    // Blocks cached with no one to give them back as the thread ends would stay out for good.
    delete cache;
    thread_uncached = true;
    return nullptr;
  }
  thread_cache = cache;
  return cache;
}

// take_blocks and give_blocks under the lock, for one size class.
FreeBlock* take_locked(std::size_t size_class, std::size_t wanted, std::size_t& taken) {
  Central& shared = central();
  const std::lock_guard<std::mutex> held(shared.lock);
  return take_blocks(shared, size_class, wanted, taken);
}

void give_locked(std::size_t size_class, FreeBlock* chain) {
  Central& shared = central();
  const std::lock_guard<std::mutex> held(shared.lock);
  give_blocks(shared, size_class, chain);
}

// A thread whose cache is gone takes and gives one block at a time.
[[gnu::noinline]] void* take_one(std::size_t size_class) {
  std::size_t taken = 0;
  return take_locked(size_class, 1, taken);
}

[[gnu::noinline]] void give_one(FreeBlock* block, std::size_t size_class) {
  block->next = nullptr;
  give_locked(size_class, block);
}

[[gnu::noinline]] void* refill(Bin& bin, std::size_t size_class) {
  std::size_t taken = 0;
  bin.head = take_locked(size_class, batch_of(size_class), taken);
  bin.count = static_cast<std::uint32_t>(taken);
  FreeBlock* block = bin.head;
  bin.head = block->next;
  --bin.count;
  return block;
}

// Gives back the bin's oldest blocks, keeping one batch.
[[gnu::noinline]] void drain(Bin& bin, std::size_t size_class) {
  const std::uint32_t kept = batch_of(size_class);
  FreeBlock* last_kept = bin.head;
  for (std::uint32_t i = 1; i < kept; ++i) last_kept = last_kept->next;
  FreeBlock* given = last_kept->next;
  last_kept->next = nullptr;
  bin.count = kept;
  give_locked(size_class, given);
}

}  // namespace

void* allocate_block(std::size_t bytes) {
  if (bytes > largest_pooled_block) return ::operator new(bytes);
  const std::size_t size_class = (bytes + granule - 1) / granule;
  Cache* cache = thread_cache;
  if (cache == nullptr) cache = make_cache();
  void* block = nullptr;
  if (cache == nullptr) {
    block = take_one(size_class);
  } else if (Bin& bin = cache->bins[size_class]; bin.head != nullptr) {
    block = bin.head;
    bin.head = bin.head->next;
    --bin.count;
  } else {
    block = refill(bin, size_class);
  }
  unpoison(block, size_class * granule);
  return block;
}

void free_block(void* block, std::size_t bytes) noexcept {
  if (bytes > largest_pooled_block) {
    ::operator delete(block);
    return;
  }
  const std::size_t size_class = (bytes + granule - 1) / granule;
  auto* freed = static_cast<FreeBlock*>(block);
  Cache* cache = thread_cache;
  if (cache == nullptr) cache = make_cache();
  if (cache == nullptr) {
    give_one(freed, size_class);
    return;
  }
  Bin& bin = cache->bins[size_class];
  freed->next = bin.head;
  bin.head = freed;
  poison_free(freed, size_class * granule);
  if (++bin.count >= 2 * batch_of(size_class)) drain(bin, size_class);
}

PoolFigures pool_figures() {
  Central& shared = central();
  const std::lock_guard<std::mutex> held(shared.lock);
  return PoolFigures{shared.mapped_bytes, shared.pages_in_use};
}

}  // namespace vantril::detail
