// A save's cross-reference record (one slot per written object number) and the runs of
// consecutive numbers in which both cross-reference forms list it.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "model/document.hpp"
#include "model/xref_slot.hpp"
#include "runtime/result.hpp"

namespace vantril {

// Filled in by a save as it writes each object; read by the cross-reference section.
struct XrefRecord {
  // Iterated in ascending number order; recording a number again replaces its slot.
  std::map<std::uint32_t, XrefSlot> slots;
  // The document's highest_number + 1 when the save started (modulo 2^32).
  std::uint32_t declared_size = 0;
  XrefForm form = XrefForm::XrefStreamForm;
};

// The empty record a save of this document starts with.
XrefRecord start_record(const Document& document);

// Stores the slot under the number, replacing any slot already there. A save records numbers in
// ascending order, so the end is the hint that makes each insertion constant time.
inline void record_slot(XrefRecord& record, std::uint32_t number, XrefSlot slot) {
  record.slots.insert_or_assign(record.slots.end(), number, slot);
}

// Consecutive slots: the k-th belongs to object number start + k.
struct XrefRun {
  std::uint32_t start = 0;
  std::vector<XrefSlot> slots;
};

// Walks the numbers first..last (inclusive, ascending), adding every recorded number to `run` and
// handing each maximal run of recorded numbers to emit(XrefRun&) -> Status as soon as a gap or
// the end closes it; emit may take the slots away, the run is emptied afterwards anyway. `run`
// may arrive already holding slots (the table's object 0); a number without a slot only
// separates runs. Each number is visited once, with one cursor walking the record alongside, so
// a long walk costs no map lookups.
template <class Emit>
Status for_each_run(const XrefRecord& record, std::uint32_t first, std::uint32_t last,
                    XrefRun& run, Emit&& emit) {
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
