// The heap blocks of keys longer than seven bytes.
#include "vantril/model/key.hpp"

#include "model/block_pool.hpp"

namespace vantril {

void Key::make_heap(std::string_view bytes) {
  const std::uint64_t size = bytes.size();
  char* block = static_cast<char*>(detail::allocate_block(header_size + bytes.size()));
  std::memcpy(block, &size, sizeof size);
  std::memcpy(block + header_size, bytes.data(), bytes.size());
  word_ = reinterpret_cast<std::uintptr_t>(block);  // NOLINT(performance-no-int-to-ptr)
}

void Key::free_heap() noexcept {
  detail::free_block(const_cast<char*>(heap_block()), header_size + size());
}

}  // namespace vantril
