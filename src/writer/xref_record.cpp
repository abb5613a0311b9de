// The record a save starts from, and the storage of its slots.
#include "writer/xref_record.hpp"

#include <algorithm>
#include <iterator>

#include "runtime/fatal.hpp"

namespace vantril {

std::unique_ptr<std::uint32_t[]> XrefSlotMap::empty_block(std::size_t count) {
  std::unique_ptr<std::uint32_t[]> block(new std::uint32_t[count]);
  std::fill_n(block.get(), count, absent);
  return block;
}

void XrefSlotMap::reserve(std::size_t count) {
  if (size_ != 0 || first_ != nullptr || !chunks_.empty()) {
    fatal_error("a cross-reference record reserved after its first slot");
  }
  // Numbers are 32-bit: a first block never needs to reach beyond them.
  const std::size_t capped = std::min<std::size_t>(count, std::size_t{0xFFFFFFFFu});
  if (capped == 0) return;
  first_ = empty_block(capped);
  first_size_ = static_cast<std::uint32_t>(capped);
}

void XrefSlotMap::insert_or_assign_in_full(std::uint32_t number, XrefSlot slot) {
  std::uint32_t* place = nullptr;
  if (number < first_size_) {
    place = &first_[number];
  } else {
    const std::size_t chunk = (number - first_size_) >> chunk_bits;
    if (chunk >= chunks_.size()) chunks_.resize(chunk + 1);
    if (chunks_[chunk] == nullptr) chunks_[chunk] = empty_block(chunk_size);
    place = &chunks_[chunk][(number - first_size_) & chunk_mask];
  }
  if (*place == absent) ++size_;
  if (*place == aside) aside_.erase(number);
  if (*place == packed) unpack(number);
  if (slot.kind == XrefSlotKind::InUse && slot.generation == 0 && slot.offset < packed) {
    *place = slot.offset;
  } else if (slot.kind == XrefSlotKind::InObjectStream) {
    *place = packed;
    pack(number, slot);
  } else {
    *place = aside;
    aside_.insert_or_assign(number, slot);
  }
}

XrefSlot XrefSlotMap::packed_slot(std::uint32_t number) const {
  auto run = runs_.upper_bound(number);
  if (run == runs_.begin()) fatal_error("a packed cross-reference slot is in no run");
  --run;
  const std::uint32_t step = number - run->first;
  if (step >= run->second.count) fatal_error("a packed cross-reference slot is in no run");
  return XrefSlot{XrefSlotKind::InObjectStream,
                  static_cast<std::uint16_t>(run->second.first_place + step),
                  run->second.container};
}

void XrefSlotMap::pack(std::uint32_t number, XrefSlot slot) {
  const auto next = runs_.lower_bound(number);
  if (next != runs_.begin()) {
    PackedRun& previous = std::prev(next)->second;
    const std::uint32_t previous_first = std::prev(next)->first;
    if (std::uint64_t{previous_first} + previous.count == number &&
        previous.container == slot.offset &&
        previous.first_place + previous.count == slot.generation) {
      ++previous.count;
      return;
    }
  }
  runs_.emplace_hint(next, number, PackedRun{1, slot.offset, slot.generation});
}

void XrefSlotMap::unpack(std::uint32_t number) {
  auto found = runs_.upper_bound(number);
  if (found == runs_.begin()) fatal_error("a packed cross-reference slot is in no run");
  --found;
  const std::uint32_t first = found->first;
  const PackedRun run = found->second;
  runs_.erase(found);
  const std::uint32_t step = number - first;
  if (step > 0) runs_.emplace(first, PackedRun{step, run.container, run.first_place});
  if (step + 1 < run.count) {
    runs_.emplace(number + 1,
                  PackedRun{run.count - step - 1, run.container, run.first_place + step + 1});
  }
}

XrefSlot XrefSlotMap::at_in_full(std::uint32_t number) const {
  const std::optional<XrefSlot> found = find(number);
  if (!found) fatal_error("no cross-reference slot recorded under the number");
  return *found;
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
  record.stream_lists_object_zero = document.xref_state.stream_lists_object_zero;
  // Numbers 0 to the highest + 1 (object 0 of a table, the cross-reference stream), unless the
  // numbers handed out are far more than the objects stored: a sparse document's high numbers
  // then land in chunks of their own rather than in one vast block.
  const std::size_t numbers = std::size_t{highest} + 2;
  const std::size_t dense_enough = 4 * document.object_table.size() + 64;
  record.slots.reserve(std::min(numbers, dense_enough));
  return record;
}

}  // namespace vantril
