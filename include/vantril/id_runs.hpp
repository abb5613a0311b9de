// A list of object identifiers held as runs of consecutive numbers sharing a generation, so that
// a cross-reference section listing a million objects in a row costs one run, not a million ids.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <vector>

#include "vantril/detail/export.hpp"
#include "vantril/model/object_id.hpp"

namespace vantril {

// Identifiers ascending as ObjectId orders them, each once. Iterating gives them one by one.
class VANTRIL_API IdRuns {
 public:
  // The numbers first, first + 1, ..., first + count - 1, each with `generation`.
  struct Run {
    std::uint32_t first = 0;
    std::uint32_t count = 0;
    std::uint16_t generation = 0;

    friend bool operator==(const Run&, const Run&) = default;
  };

  // Yields each identifier by value: a forward iterator for ranges and the standard algorithms.
  class Iterator {
   public:
    using iterator_concept = std::forward_iterator_tag;
    using iterator_category = std::input_iterator_tag;
    using value_type = ObjectId;
    using difference_type = std::ptrdiff_t;
    using reference = ObjectId;
    using pointer = void;

    Iterator() = default;
    ObjectId operator*() const { return ObjectId{run_->first + step_, run_->generation}; }
    Iterator& operator++() {
      if (++step_ == run_->count) {
        ++run_;
        step_ = 0;
      }
      return *this;
    }
    Iterator operator++(int) {
      Iterator before = *this;
      ++*this;
      return before;
    }
    friend bool operator==(const Iterator&, const Iterator&) = default;

   private:
    friend class IdRuns;
    Iterator(const Run* run, std::uint32_t step) : run_(run), step_(step) {}
    const Run* run_ = nullptr;
    std::uint32_t step_ = 0;
  };

  // The identifiers of `ids`, which must already be ascending and unique; an empty list when
  // they are not.
  static IdRuns from_ascending(const std::vector<ObjectId>& ids);

  // Adds `id` when it comes after every identifier held, extending the last run when it is that
  // run's next number with the same generation, and returns true. Otherwise adds nothing and
  // returns false.
  bool push_back(ObjectId id);

  // The number of identifiers, not of runs.
  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  bool contains(ObjectId id) const;
  const std::vector<Run>& runs() const { return runs_; }
  void shrink_to_fit() { runs_.shrink_to_fit(); }

  Iterator begin() const { return Iterator(runs_.data(), 0); }
  Iterator end() const { return Iterator(runs_.data() + runs_.size(), 0); }

  // The same identifiers: adding always extends a run when it can, so equal lists have equal
  // runs.
  friend bool operator==(const IdRuns&, const IdRuns&) = default;

 private:
  std::vector<Run> runs_;
  std::size_t size_ = 0;
};

}  // namespace vantril
