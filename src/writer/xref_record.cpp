// The record a save starts from.
#include "writer/xref_record.hpp"

#include <algorithm>

#include "runtime/fatal.hpp"

namespace vantril {

const XrefSlot& XrefSlotMap::at(std::uint32_t number) const {
  const auto found = find(number);
  if (found == end()) fatal_error("no cross-reference slot recorded under the number");
  return found->second;
}

XrefRecord start_record(const Document& document) {
  XrefRecord record;
  // A highest_number set by hand below a stored number must not leave that object unlisted, nor
  // let the cross-reference stream take its number.
  std::uint32_t highest = document.highest_number;
  if (!document.object_table.empty()) {
    highest = std::max(highest, document.object_table.rbegin()->first.number);
  }
  // Wraps to 0 only for a highest number of UINT32_MAX; declared_size - 1 then still yields the
  // highest number in 32-bit arithmetic, which is all the writers use it for.
  record.declared_size = highest + 1u;
  record.form = document.xref_state.xref_form;
  record.slots.reserve(document.object_table.size() + 1);
  return record;
}

}  // namespace vantril
