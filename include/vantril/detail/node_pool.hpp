// Node storage for a document's object table. A document of a million objects would otherwise
// make a million small heap allocations scattered among its values; the pool carves nodes out of
// a few large chunks, so they lie together (a save walks them in order) and cost no allocator
// call each. Freed nodes are reused, and the chunks go back to the heap with the last table that
// shares them.
#pragma once

#include <atomic>
#include <cstddef>
#include <new>
#include <type_traits>
#include <utility>

#include "vantril/detail/export.hpp"

namespace vantril::detail {

// Fixed-size nodes from chunks that double in size up to a limit. Shared by the copies of one
// PoolAllocator and counted by them; the last copy to go frees it. Like the document it serves,
// it is used from one thread at a time.
class VANTRIL_API NodePool {
 public:
  explicit NodePool(std::size_t node_size);
  NodePool(const NodePool&) = delete;
  NodePool& operator=(const NodePool&) = delete;

  std::size_t node_size() const { return node_size_; }

  void* take() {
    if (free_ != nullptr) {
      FreeNode* node = free_;
      free_ = node->next;
      return node;
    }
    if (cursor_ == end_) add_chunk();
    void* node = cursor_;
    cursor_ += node_size_;
    return node;
  }
  void give(void* node) noexcept { free_ = new (node) FreeNode{free_}; }

  void acquire() noexcept { owners_.fetch_add(1, std::memory_order_relaxed); }
  void release() noexcept {
    if (owners_.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
  }

 private:
  struct FreeNode {
    FreeNode* next;
  };
  struct Chunk {
    Chunk* next;
  };

  ~NodePool();
  void add_chunk();

  std::atomic<std::size_t> owners_{1};
  std::size_t node_size_;
  FreeNode* free_ = nullptr;
  char* cursor_ = nullptr;
  char* end_ = nullptr;
  Chunk* chunks_ = nullptr;
  std::size_t next_chunk_nodes_;
};

// A standard allocator over a NodePool for containers that allocate their nodes one at a time
// (std::map). Single-node requests of the pool's node size come from the pool, made on the first
// such request; any other request goes to the heap. Copies share the pool and compare equal, and
// the pool follows a container's contents when the container is moved, assigned or swapped.
template <class T>
class PoolAllocator {
 public:
  using value_type = T;
  using propagate_on_container_copy_assignment = std::true_type;
  using propagate_on_container_move_assignment = std::true_type;
  using propagate_on_container_swap = std::true_type;
  using is_always_equal = std::false_type;

  PoolAllocator() noexcept = default;
  PoolAllocator(const PoolAllocator& other) noexcept : pool_(other.pool_) { hold(); }
  template <class U>
  PoolAllocator(const PoolAllocator<U>& other) noexcept : pool_(other.pool_) {
    hold();
  }
  PoolAllocator& operator=(const PoolAllocator& other) noexcept {
    PoolAllocator copy(other);
    std::swap(pool_, copy.pool_);
    return *this;
  }
  ~PoolAllocator() {
    if (pool_ != nullptr) pool_->release();
  }

  T* allocate(std::size_t count) {
    if (count == 1) {
      if (pool_ == nullptr) pool_ = new NodePool(node_size);
      if (pool_->node_size() == node_size) return static_cast<T*>(pool_->take());
    }
    return static_cast<T*>(::operator new(count * sizeof(T)));
  }
  void deallocate(T* pointer, std::size_t count) noexcept {
    if (count == 1 && pool_ != nullptr && pool_->node_size() == node_size) {
      pool_->give(pointer);
    } else {
      ::operator delete(pointer);
    }
  }

  template <class U>
  friend bool operator==(const PoolAllocator& a, const PoolAllocator<U>& b) noexcept {
    return a.pool_ == b.pool_;
  }

 private:
  template <class>
  friend class PoolAllocator;

  // Nodes are carved one after another from chunks aligned for any type; a free node holds a
  // pointer. Rounding T's size up to the larger of the two alignments keeps every node aligned
  // for both.
  static constexpr std::size_t node_alignment = alignof(T) > alignof(void*) ? alignof(T)
                                                                            : alignof(void*);
  static constexpr std::size_t node_size =
      ((sizeof(T) > sizeof(void*) ? sizeof(T) : sizeof(void*)) + node_alignment - 1) /
      node_alignment * node_alignment;
  static_assert(node_alignment <= alignof(std::max_align_t));

  void hold() noexcept {
    if (pool_ != nullptr) pool_->acquire();
  }

  NodePool* pool_ = nullptr;
};

}  // namespace vantril::detail
