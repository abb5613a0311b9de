// The array's block: growing it, and the operations that shift or destroy elements.
#include <cstring>
#include <new>
#include <utility>

#include "model/block_pool.hpp"
#include "runtime/fatal.hpp"
#include "vantril/model/object.hpp"

namespace vantril {

namespace {

std::size_t block_bytes(std::size_t capacity) {
  return sizeof(std::uint64_t) + capacity * sizeof(Object);
}

}  // namespace

Array& Array::operator=(Array&& other) noexcept {
  if (this != &other) {
    // The other may be held inside one of this array's elements: it is taken out first.
    Array taken(std::move(other));
    std::swap(block_, taken.block_);
  }
  return *this;
}

Array::~Array() {
  if (block_ == nullptr) return;
  clear();
  detail::free_block(block_, block_bytes(block_->capacity));
}

Object& Array::at(std::size_t position) {
  if (position >= size()) fatal_error("array position beyond the end");
  return data()[position];
}

const Object& Array::at(std::size_t position) const {
  if (position >= size()) fatal_error("array position beyond the end");
  return data()[position];
}

void Array::reserve(std::size_t count) {
  if (count <= capacity()) return;
  if (count > 0xFFFFFFFFu) fatal_error("array element count overflow");
  static_assert(sizeof(Block) == sizeof(std::uint64_t));
  auto* grown = static_cast<Block*>(detail::allocate_block(block_bytes(count)));
  grown->size = 0;
  grown->capacity = static_cast<std::uint32_t>(count);
  if (block_ != nullptr) {
    // Objects move by their bytes: the old block's elements are taken over as they are.
    grown->size = block_->size;
    if (block_->size != 0) {
      std::memcpy(static_cast<void*>(grown + 1), static_cast<const void*>(block_ + 1),
                  block_->size * sizeof(Object));
    }
    detail::free_block(block_, block_bytes(block_->capacity));
  }
  block_ = grown;
}

void Array::grow_by_one() {
  if (block_ == nullptr || block_->size == block_->capacity) reserve(size() < 4 ? 4 : 2 * size());
  ++block_->size;
}

Object& Array::append_grown(Object&& element) {
  Object taken(std::move(element));
  grow_by_one();
  return *new (data() + block_->size - 1) Object(std::move(taken));
}

void Array::pop_back() {
  if (empty()) fatal_error("pop_back on an empty array");
  --block_->size;
  data()[block_->size].~Object();
}

void Array::clear() {
  if (block_ == nullptr) return;
  // Counted down first, so that an element whose destruction reaches back into this array
  // finds it consistent.
  Object* elements = data();
  while (block_->size != 0) {
    --block_->size;
    elements[block_->size].~Object();
  }
}

void Array::resize(std::size_t count) {
  while (size() > count) pop_back();
  reserve(count);
  while (size() < count) emplace_back();
}

Object* Array::insert(const Object* position, Object&& element) {
  const auto at = static_cast<std::size_t>(position - data());
  if (at > size()) fatal_error("array insert beyond the end");
  Object taken(std::move(element));
  grow_by_one();
  Object* elements = data();
  const std::size_t after = size() - 1 - at;
  if (after != 0) {
    std::memmove(static_cast<void*>(elements + at + 1), static_cast<const void*>(elements + at),
                 after * sizeof(Object));
  }
  return new (elements + at) Object(std::move(taken));
}

Object* Array::erase(const Object* position) {
  const auto at = static_cast<std::size_t>(position - data());
  if (at >= size()) fatal_error("array erase beyond the end");
  Object* elements = data();
  Object removed(std::move(elements[at]));
  const std::size_t after = size() - 1 - at;
  if (after != 0) {
    std::memmove(static_cast<void*>(elements + at), static_cast<const void*>(elements + at + 1),
                 after * sizeof(Object));
  }
  --block_->size;
  return elements + at;
}

}  // namespace vantril
