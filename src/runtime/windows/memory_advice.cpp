// Advice on fresh memory. Windows has no call that makes the pages of a heap block present ahead
// of writing: they come one fault at a time, as without the advice.
#include "runtime/platform.hpp"

namespace vantril::os {

void prefault_for_writing(void* /*data*/, std::size_t /*size*/) {}

}  // namespace vantril::os
