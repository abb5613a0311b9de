// Memory for the model's block pool, mapped from the system and aligned to its own size. The
// mapping is left to ordinary pages: advising transparent huge pages for it made building a
// million small objects several times slower on virtual machines that hand freed memory back
// to their host, where each fresh huge page costs the host far more to provide.
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
  return kept;
}

void unmap_pool_memory(void* memory, std::size_t size) { ::munmap(memory, size); }

}  // namespace vantril::os
