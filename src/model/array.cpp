// The array's block: growing it, and the operations that shift or destroy elements.
#include <cstring>
#include <new>
#include <utility>

#include "runtime/fatal.hpp"
#include "vantril/model/object.hpp"

namespace vantril {

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
  ::operator delete(block_);
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
  auto* grown = static_cast<Block*>(::operator new(sizeof(Block) + count * sizeof(Object)));
  grown->size = 0;
  grown->capacity = static_cast<std::uint32_t>(count);
  if (block_ != nullptr) {
    // Objects move by their bytes: the old block's elements are taken over as they are.
    grown->size = block_->size;
    if (block_->size != 0) {
      std::memcpy(static_cast<void*>(grown + 1), static_cast<const void*>(block_ + 1),
                  block_->size * sizeof(Object));
    }
    ::operator delete(block_);
  }
  block_ = grown;
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
  make_room();
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
