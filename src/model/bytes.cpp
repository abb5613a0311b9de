// Growing and releasing the heap block of long byte strings.
#include "vantril/model/bytes.hpp"

#include <algorithm>
#include <new>

namespace vantril {

namespace {

constexpr std::size_t header_size = sizeof(std::size_t);

char* allocate_block(std::size_t capacity) {
  char* block = static_cast<char*>(::operator new(header_size + capacity));
  std::memcpy(block, &capacity, sizeof capacity);
  return block;
}

}  // namespace

Bytes::Bytes(std::size_t count, char fill) : Bytes() {
  reserve(count);
  std::memset(data(), fill, count);
  set_size(count);
}

Bytes& Bytes::operator=(const Bytes& other) {
  if (this != &other) {
    clear();
    append(other);
  }
  return *this;
}

std::size_t Bytes::capacity() const {
  if (!on_heap()) return inline_capacity;
  std::size_t capacity;
  std::memcpy(&capacity, heap_block(), sizeof capacity);
  return capacity;
}

void Bytes::reserve(std::size_t count) {
  if (count <= capacity()) return;
  const std::size_t size = this->size();
  char* block = allocate_block(count);
  if (size != 0) std::memcpy(block + header_size, data(), size);
  release();
  set_heap(block, size);
}

void Bytes::append(std::string_view bytes) {
  if (bytes.empty()) return;
  const std::size_t size = this->size();
  if (bytes.size() > capacity() - size) {
    // Exactly the size for the first fill of a heap block, doubling for repeated appends.
    const std::size_t wanted = size + bytes.size();
    reserve(size == 0 ? wanted : std::max(wanted, 2 * capacity()));
  }
  std::memcpy(data() + size, bytes.data(), bytes.size());
  set_size(size + bytes.size());
}

void Bytes::clear() { set_size(0); }

void Bytes::free_heap() noexcept { ::operator delete(heap_block()); }

}  // namespace vantril
