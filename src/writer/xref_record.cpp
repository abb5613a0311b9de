// The record a save starts from.
#include "writer/xref_record.hpp"

#include "runtime/fatal.hpp"

namespace vantril {

const XrefSlot& XrefSlotMap::at(std::uint32_t number) const {
  const auto found = find(number);
  if (found == end()) fatal_error("no cross-reference slot recorded under the number");
  return found->second;
}

XrefRecord start_record(const Document& document) {
  XrefRecord record;
  // Wraps to 0 only for highest_number == UINT32_MAX; declared_size - 1 then still yields the
  // highest number in 32-bit arithmetic, which is all the writers use it for.
  record.declared_size = document.highest_number + 1u;
  record.form = document.xref_state.xref_form;
  record.slots.reserve(document.object_table.size() + 1);
  return record;
}

}  // namespace vantril
