// The containers a walk over a value has open, innermost last. Values may nest far deeper than
// the call stack could follow, so the nesting lives here rather than in recursion; the first
// levels need no allocation. A template: all of it is here.
#pragma once

#include <array>
#include <cstddef>
#include <vector>

namespace vantril {

template <class Frame>
class NestingStack {
 public:
  bool empty() const { return size_ == 0; }
  Frame& top() { return size_ <= near_.size() ? near_[size_ - 1] : far_.back(); }
  void push(const Frame& frame) {
    if (size_ < near_.size()) {
      near_[size_] = frame;
    } else {
      far_.push_back(frame);
    }
    ++size_;
  }
  void pop() {
    if (size_ > near_.size()) far_.pop_back();
    --size_;
  }

 private:
  // Left uninitialised: only the first size_ places are ever read, and a save walks every object.
  std::array<Frame, 16> near_;
  std::vector<Frame> far_;
  std::size_t size_ = 0;
};

}  // namespace vantril
