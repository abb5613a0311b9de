// The array's block: growing it, and the operations that shift or destroy elements.
#include <cstring>
#include <new>
#include <utility>

#include "model/block_pool.hpp"
#include "runtime/fatal.hpp"
#include "vantril/model/object.hpp"

namespace vantril {

namespace {

std::size_t block_bytes(std::size_t capacity) { return capacity * sizeof(Object); }

}  // namespace

Array& Array::operator=(Array&& other) noexcept {
  if (this != &other) {
    // The other may be held inside one of this array's elements: it is taken out first, and
    // this array's old elements die with `taken`.
    Array taken(std::move(other));
    std::swap(elements_, taken.elements_);
    std::swap(size_, taken.size_);
    const std::size_t capacity = this->capacity();
    set_capacity(taken.capacity());
    taken.set_capacity(capacity);
  }
  return *this;
}

Array::~Array() {
  if (elements_ == nullptr) return;
  clear();
  detail::free_block(elements_, block_bytes(capacity()));
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
  if (count > max_size) fatal_error("array element count overflow");
  auto* grown = static_cast<Object*>(detail::allocate_block(block_bytes(count)));
  if (elements_ != nullptr) {
    // Objects move by their bytes: the old block's elements are taken over as they are.
    if (size_ != 0) {
      std::memcpy(static_cast<void*>(grown), static_cast<const void*>(elements_),
                  size_ * sizeof(Object));
    }
    detail::free_block(elements_, block_bytes(capacity()));
  }
  elements_ = grown;
  set_capacity(count);
}

void Array::grow_by_one() {
  if (size_ == capacity()) {
    const std::size_t doubled = size_ < 4 ? 4 : 2 * std::size_t{size_};
    reserve(doubled > max_size && size_ < max_size ? max_size : doubled);
  }
  ++size_;
}

Object& Array::append_grown(Object&& element) {
  Object taken(std::move(element));
  grow_by_one();
  return *new (data() + size_ - 1) Object(std::move(taken));
}

void Array::pop_back() {
  if (empty()) fatal_error("pop_back on an empty array");
  --size_;
  data()[size_].~Object();
}

void Array::clear() {
  // Counted down first, so that an element whose destruction reaches back into this array
  // finds it consistent.
  Object* elements = data();
  while (size_ != 0) {
    --size_;
    elements[size_].~Object();
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
  --size_;
  return elements + at;
}

}  // namespace vantril
