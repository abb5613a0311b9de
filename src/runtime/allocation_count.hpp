// Counting the process's global allocations over a stretch of code, so that benchmarks and tests
// can show that a path allocates nothing. Only the replaced allocation functions count; builds
// without them (sanitizers) do not define VANTRIL_ALLOCATION_COUNTING and have no counter. The
// counter lives with the replaced functions, in runtime/command/operator_new.cpp.
#pragma once

#include <cstdint>

namespace vantril {

#if defined(VANTRIL_ALLOCATION_COUNTING)

// Allocations made by any thread while counting is on.
struct AllocationCount {
  std::uint64_t allocations = 0;
  std::uint64_t bytes = 0;
};

// Resets the count and switches counting on.
void start_counting_allocations();
// Switches counting off and returns what was counted since the start.
AllocationCount stop_counting_allocations();

#endif

}  // namespace vantril
