// Memory for the model's block pool, mapped from the system: aligned to its own size, so that
// the kernel may back it with transparent huge pages, which a million small values touch far
// fewer times than as 4 KiB pages.
#include <sys/mman.h>

#include <cstdint>

#include "runtime/platform.hpp"

namespace vantril::os {

void* map_pool_memory(std::size_t size) {
  // Twice the size, then the ends cut away: the middle holds an aligned range.
  void* mapped =
      ::mmap(nullptr, 2 * size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapped == MAP_FAILED) return nullptr;
  const auto start = reinterpret_cast<std::uintptr_t>(mapped);
  const std::uintptr_t aligned = (start + size - 1) / size * size;
  char* const first = static_cast<char*>(mapped);
  char* const kept = first + (aligned - start);
  if (kept != first) ::munmap(first, static_cast<std::size_t>(kept - first));
  char* const after = kept + size;
  char* const last = first + 2 * size;
  if (after != last) ::munmap(after, static_cast<std::size_t>(last - after));
#ifdef MADV_HUGEPAGE
  // Advice only: where huge pages are off or the kernel declines, 4 KiB pages serve as before.
  ::madvise(kept, size, MADV_HUGEPAGE);
#endif
  return kept;
}

void unmap_pool_memory(void* memory, std::size_t size) { ::munmap(memory, size); }

}  // namespace vantril::os
