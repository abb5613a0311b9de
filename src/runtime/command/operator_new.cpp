// The global allocation functions, replaced so that running out of memory ends the process
// with the allocation-failure report instead of an exception nobody catches.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>

#include "runtime/allocation_count.hpp"
#include "runtime/fatal.hpp"

namespace {

// Off except while a benchmark or test measures a stretch of code; then one relaxed load decides.
std::atomic<bool> counting{false};
std::atomic<std::uint64_t> counted_allocations{0};
std::atomic<std::uint64_t> counted_bytes{0};

void note_allocation(std::size_t size) {
  if (counting.load(std::memory_order_relaxed)) {
    counted_allocations.fetch_add(1, std::memory_order_relaxed);
    counted_bytes.fetch_add(size, std::memory_order_relaxed);
  }
}

void* allocate_or_null(std::size_t size) {
  note_allocation(size);
  // malloc(0) may return null; C++ requires a distinct non-null pointer.
  const std::size_t request = size == 0 ? 1 : size;
  for (;;) {
    if (void* memory = std::malloc(request)) return memory;
    std::new_handler handler = std::get_new_handler();
    if (handler == nullptr) return nullptr;
    handler();
  }
}

// Over-aligned blocks come from malloc with room to move their start up to the alignment; the
// pointer malloc gave is kept just before the aligned start, for the aligned delete to free.
// (posix_memalign does not exist on Windows, and _aligned_malloc memory cannot go to free.)
void* allocate_aligned_or_null(std::size_t size, std::align_val_t alignment) {
  note_allocation(size);
  auto align = static_cast<std::size_t>(alignment);
  if (align < sizeof(void*)) align = sizeof(void*);
  const std::size_t request = size == 0 ? 1 : size;
  const std::size_t overhead = align - 1 + sizeof(void*);
  if (request > SIZE_MAX - overhead) return nullptr;
  for (;;) {
    if (void* raw = std::malloc(request + overhead)) {
      const std::uintptr_t start = reinterpret_cast<std::uintptr_t>(raw) + sizeof(void*);
      const std::uintptr_t aligned = (start + align - 1) & ~static_cast<std::uintptr_t>(align - 1);
      // The aligned start is found in integer arithmetic; malloc's block stays its provenance.
      reinterpret_cast<void**>(aligned)[-1] = raw;  // NOLINT(performance-no-int-to-ptr)
      return reinterpret_cast<void*>(aligned);      // NOLINT(performance-no-int-to-ptr)
    }
    std::new_handler handler = std::get_new_handler();
    if (handler == nullptr) return nullptr;
    handler();
  }
}

void free_aligned(void* memory) {
  if (memory != nullptr) std::free(static_cast<void**>(memory)[-1]);
}

void* allocate(std::size_t size) {
  void* memory = allocate_or_null(size);
  if (memory == nullptr) vantril::allocation_failure(size);
  return memory;
}

void* allocate_aligned(std::size_t size, std::align_val_t alignment) {
  void* memory = allocate_aligned_or_null(size, alignment);
  if (memory == nullptr) vantril::allocation_failure(size);
  return memory;
}

}  // namespace

namespace vantril {

void start_counting_allocations() {
  counted_allocations.store(0, std::memory_order_relaxed);
  counted_bytes.store(0, std::memory_order_relaxed);
  counting.store(true, std::memory_order_seq_cst);
}

AllocationCount stop_counting_allocations() {
  counting.store(false, std::memory_order_seq_cst);
  return AllocationCount{counted_allocations.load(std::memory_order_relaxed),
                         counted_bytes.load(std::memory_order_relaxed)};
}

}  // namespace vantril

void* operator new(std::size_t size) { return allocate(size); }
void* operator new[](std::size_t size) { return allocate(size); }
void* operator new(std::size_t size, std::align_val_t alignment) {
  return allocate_aligned(size, alignment);
}
void* operator new[](std::size_t size, std::align_val_t alignment) {
  return allocate_aligned(size, alignment);
}

// The nothrow forms keep their contract of answering null: the standard library asks for
// temporary buffers this way and manages with less when refused.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return allocate_or_null(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return allocate_or_null(size);
}
void* operator new(std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
  return allocate_aligned_or_null(size, alignment);
}
void* operator new[](std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
  return allocate_aligned_or_null(size, alignment);
}

// The unaligned forms allocate with malloc; the aligned forms release through free_aligned.
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete(void* memory, const std::nothrow_t&) noexcept { std::free(memory); }
void operator delete[](void* memory, const std::nothrow_t&) noexcept { std::free(memory); }
void operator delete(void* memory, std::align_val_t) noexcept { free_aligned(memory); }
void operator delete[](void* memory, std::align_val_t) noexcept { free_aligned(memory); }
void operator delete(void* memory, std::size_t, std::align_val_t) noexcept { free_aligned(memory); }
void operator delete[](void* memory, std::size_t, std::align_val_t) noexcept {
  free_aligned(memory);
}
void operator delete(void* memory, std::align_val_t, const std::nothrow_t&) noexcept {
  free_aligned(memory);
}
void operator delete[](void* memory, std::align_val_t, const std::nothrow_t&) noexcept {
  free_aligned(memory);
}
