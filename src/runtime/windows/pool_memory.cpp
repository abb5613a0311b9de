// Memory for the model's block pool, committed from the system: VirtualAlloc's ranges start on
// its 64 KiB allocation granularity, which is all the pool's pages need.
#include <windows.h>

#include "runtime/platform.hpp"

namespace vantril::os {

void* map_pool_memory(std::size_t size) {
  return ::VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
}

void unmap_pool_memory(void* memory, std::size_t /*size*/) {
  ::VirtualFree(memory, 0, MEM_RELEASE);
}

}  // namespace vantril::os
