// A save's cross-reference record (one slot per written object number) and the runs of
// consecutive numbers in which a cross-reference stream lists it.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "vantril/error.hpp"
#include "vantril/model/document.hpp"
#include "vantril/model/xref_slot.hpp"

namespace vantril {

// The slots of a record by object number, ascending, at most one per number. A save records the
// numbers in ascending order, so recording is an append into storage reserved when the save
// starts; lookups are binary searches. Reads like the ordered map it stands in for.
class XrefSlotMap {
 public:
  using value_type = std::pair<std::uint32_t, XrefSlot>;
  using const_iterator = std::vector<value_type>::const_iterator;

  void reserve(std::size_t count) { entries_.reserve(count); }

  // Stores the slot under the number, replacing any slot already there.
  void insert_or_assign(std::uint32_t number, XrefSlot slot) {
    if (entries_.empty() || entries_.back().first < number) {
      entries_.emplace_back(number, slot);
      return;
    }
    const auto at = std::lower_bound(
        entries_.begin(), entries_.end(), number,
        [](const value_type& entry, std::uint32_t wanted) { return entry.first < wanted; });
    if (at != entries_.end() && at->first == number) {
      at->second = slot;
    } else {
      entries_.emplace(at, number, slot);
    }
  }

  // The first entry whose number is not below `number`.
  const_iterator lower_bound(std::uint32_t number) const {
    return std::lower_bound(
        entries_.begin(), entries_.end(), number,
        [](const value_type& entry, std::uint32_t wanted) { return entry.first < wanted; });
  }
  const_iterator find(std::uint32_t number) const {
    const auto at = lower_bound(number);
    return at != entries_.end() && at->first == number ? at : entries_.end();
  }
  std::size_t count(std::uint32_t number) const { return find(number) != end() ? 1 : 0; }
  // The slot of a recorded number; asking for another is a broken invariant.
  const XrefSlot& at(std::uint32_t number) const;

  const_iterator begin() const { return entries_.begin(); }
  const_iterator end() const { return entries_.end(); }
  std::size_t size() const { return entries_.size(); }
  bool empty() const { return entries_.empty(); }

 private:
  std::vector<value_type> entries_;
};

// Filled in by a save as it writes each object; read by the cross-reference section.
struct XrefRecord {
  // Iterated in ascending number order; recording a number again replaces its slot.
  XrefSlotMap slots;
  // One above the higher of the document's highest_number and its highest stored number when the
  // save started (modulo 2^32).
  std::uint32_t declared_size = 0;
  XrefForm form = XrefForm::XrefStreamForm;
};

// The empty record a save of this document starts with, with room for a slot per stored object
// and one for a cross-reference stream, so that recording allocates nothing.
XrefRecord start_record(const Document& document);

// Stores the slot under the number, replacing any slot already there. A save records numbers in
// ascending order, which makes each insertion an append.
inline void record_slot(XrefRecord& record, std::uint32_t number, XrefSlot slot) {
  record.slots.insert_or_assign(number, slot);
}

// Consecutive slots: the k-th belongs to object number start + k.
struct XrefRun {
  std::uint32_t start = 0;
  std::vector<XrefSlot> slots;
};

// Walks the numbers first..last (inclusive, ascending), adding every recorded number to `run` and
// handing each maximal run of recorded numbers to emit(XrefRun&) -> Status as soon as a gap or
// the end closes it; emit may take the slots away, the run is emptied afterwards anyway. `run`
// may arrive already holding slots; a number without a slot only separates runs. Each number is
// visited once, with one cursor walking the record alongside, so a long walk costs no map
// lookups.
template <class Emit>
Status for_each_run(const XrefRecord& record, std::uint32_t first, std::uint32_t last, XrefRun& run,
                    Emit&& emit) {
  auto cursor = record.slots.lower_bound(first);
  // 64-bit so that last == UINT32_MAX still ends the loop.
  for (std::uint64_t n = first; n <= last; ++n) {
    const auto number = static_cast<std::uint32_t>(n);
    if (run.slots.empty()) run.start = number;
    if (cursor != record.slots.end() && cursor->first == number) {
      run.slots.push_back(cursor->second);
      ++cursor;
    } else if (!run.slots.empty()) {
      VANTRIL_TRY(emit(run));
      run.slots.clear();
    }
  }
  if (!run.slots.empty()) {
    VANTRIL_TRY(emit(run));
    run.slots.clear();
  }
  return {};
}

}  // namespace vantril
