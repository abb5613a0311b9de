// Advice on fresh memory: its pages made present in one call rather than one fault at a time.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

#include "runtime/platform.hpp"

namespace vantril::os {

void prefault_for_writing(void* data, std::size_t size) {
#ifdef MADV_POPULATE_WRITE
  const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
  const auto start = reinterpret_cast<std::uintptr_t>(data);
  // Whole pages inside the range only: madvise takes a page-aligned start.
  const std::uintptr_t first = (start + page - 1) / page * page;
  const std::uintptr_t end = (start + size) / page * page;
  if (end <= first) return;
  // A kernel older than 5.14 refuses the advice, and the pages come one fault at a time as before.
  // NOLINTNEXTLINE(performance-no-int-to-ptr): the aligned address inside the caller's buffer
  ::madvise(reinterpret_cast<void*>(first), end - first, MADV_POPULATE_WRITE);
#else
  (void)data;
  (void)size;
#endif
}

}  // namespace vantril::os
