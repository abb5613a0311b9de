// A save's cross-reference record (one slot per written object number) and the runs of
// consecutive numbers in which a cross-reference stream lists it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "vantril/error.hpp"
#include "vantril/model/document.hpp"
#include "vantril/model/xref_slot.hpp"

namespace vantril {

// The slots of a record by object number, at most one per number, kept in a table indexed by the
// number itself, in any recording order. A writer that streams millions of objects keeps nothing
// else per object, so a number costs four bytes: the offset of an object in use with generation
// 0, which is nearly every object. Objects packed into object streams are kept as runs: numbers
// recorded one after another into consecutive places of one object stream share one entry, so a
// full object stream of consecutive numbers costs one entry however many objects it holds. Any
// other slot (another generation or kind, or an offset too close to 4 GiB to tell from the
// markers) lives in a side table. The number table grows in fixed chunks, never by copying. Its
// first block is sized by `reserve` (a save knows its numbers before it starts, so recording then
// allocates nothing); numbers beyond it land in chunks made when first used, so a lone high
// number costs one chunk.
class XrefSlotMap {
 public:
  // Makes the first block hold the numbers below `count`; only before anything is recorded.
  void reserve(std::size_t count);

  // Stores the slot under the number, replacing any slot already there. Inline for what is
  // recorded nearly every time, an object in use with generation 0 under a new number.
  void insert_or_assign(std::uint32_t number, XrefSlot slot) {
    if (slot.kind == XrefSlotKind::InUse && slot.generation == 0 && slot.offset < packed) {
      std::uint32_t* const place = place_made(number);
      if (place != nullptr && *place == absent) {
        *place = slot.offset;
        ++size_;
        return;
      }
    }
    insert_or_assign_in_full(number, slot);
  }

  // The slot recorded under the number, if any.
  std::optional<XrefSlot> find(std::uint32_t number) const {
    const std::uint32_t cell = cell_of(number);
    if (cell == absent) return std::nullopt;
    if (cell == aside) return aside_.at(number);
    if (cell == packed) return packed_slot(number);
    return XrefSlot{XrefSlotKind::InUse, 0, cell};
  }
  bool contains(std::uint32_t number) const { return cell_of(number) != absent; }
  std::size_t count(std::uint32_t number) const { return contains(number) ? 1 : 0; }
  // The slot of a recorded number; asking for another is a broken invariant. Inline for an object
  // in use with generation 0, which a section lists for nearly every number.
  XrefSlot at(std::uint32_t number) const {
    const std::uint32_t cell = cell_of(number);
    if (cell < packed) return XrefSlot{XrefSlotKind::InUse, 0, cell};
    return at_in_full(number);
  }

  // The number of recorded numbers.
  std::size_t size() const { return size_; }

 private:
  // Cell values that are no offset: no slot, a slot in the side table, or a slot in a run of
  // packed objects.
  static constexpr std::uint32_t absent = 0xFFFFFFFFu;
  static constexpr std::uint32_t aside = 0xFFFFFFFEu;
  static constexpr std::uint32_t packed = 0xFFFFFFFDu;

  // Numbers first .. first + count - 1 (the key of the run is `first`) in the object stream
  // `container`, at the places first_place .. first_place + count - 1.
  struct PackedRun {
    std::uint32_t count;
    std::uint32_t container;
    std::uint32_t first_place;
  };

  // at's every case, out of line.
  XrefSlot at_in_full(std::uint32_t number) const;
  // insert_or_assign's every case, out of line.
  void insert_or_assign_in_full(std::uint32_t number, XrefSlot slot);
  // The slot of a number whose cell says it is in a run.
  XrefSlot packed_slot(std::uint32_t number) const;
  // Adds a packed number to the run it continues, or starts a run with it.
  void pack(std::uint32_t number, XrefSlot slot);
  // Takes a packed number out of its run, splitting the run around it.
  void unpack(std::uint32_t number);
  static constexpr unsigned chunk_bits = 16;
  static constexpr std::size_t chunk_size = std::size_t{1} << chunk_bits;
  static constexpr std::size_t chunk_mask = chunk_size - 1;

  static std::unique_ptr<std::uint32_t[]> empty_block(std::size_t count);

  // The number's cell when its block is made already, else null.
  std::uint32_t* place_made(std::uint32_t number) {
    if (number < first_size_) return &first_[number];
    const std::size_t chunk = (number - first_size_) >> chunk_bits;
    if (chunk >= chunks_.size() || chunks_[chunk] == nullptr) return nullptr;
    return &chunks_[chunk][(number - first_size_) & chunk_mask];
  }
  std::uint32_t cell_of(std::uint32_t number) const {
    if (number < first_size_) return first_[number];
    const std::size_t chunk = (number - first_size_) >> chunk_bits;
    if (chunk >= chunks_.size() || chunks_[chunk] == nullptr) return absent;
    return chunks_[chunk][(number - first_size_) & chunk_mask];
  }

  std::unique_ptr<std::uint32_t[]> first_;
  std::uint32_t first_size_ = 0;
  std::vector<std::unique_ptr<std::uint32_t[]>> chunks_;
  std::map<std::uint32_t, XrefSlot> aside_;
  std::map<std::uint32_t, PackedRun> runs_;
  std::size_t size_ = 0;
};

// Filled in by a save as it writes each object; read by the cross-reference section.
struct XrefRecord {
  // Recording a number again replaces its slot.
  XrefSlotMap slots;
  // One above the higher of the document's highest_number and its highest stored number when the
  // save started (modulo 2^32).
  std::uint32_t declared_size = 0;
  XrefForm form = XrefForm::XrefStreamForm;
  // Stream form: object 0 leads the entries, as the end of the free list.
  bool stream_lists_object_zero = false;
};

// The empty record a save of this document starts with, with room for a slot per number up to
// one past the highest (the cross-reference stream's), so that recording allocates nothing.
XrefRecord start_record(const Document& document);

// Consecutive recorded numbers, start to start + count - 1; their slots stay in the record, so
// listing a million objects copies none of them.
struct XrefRun {
  std::uint32_t start = 0;
  std::uint32_t count = 0;
};

// Walks the numbers first..last (inclusive, ascending) and hands each maximal run of recorded
// numbers to emit(const XrefRun&) -> Status as soon as a gap or the end closes it; a number
// without a slot only separates runs. The first failing emit ends the walk with its error.
template <class Emit>
Status for_each_run(const XrefRecord& record, std::uint32_t first, std::uint32_t last,
                    Emit&& emit) {
  XrefRun run;
  // 64-bit so that last == UINT32_MAX still ends the loop.
  for (std::uint64_t n = first; n <= last; ++n) {
    const auto number = static_cast<std::uint32_t>(n);
    if (record.slots.contains(number)) {
      if (run.count == 0) run.start = number;
      ++run.count;
    } else if (run.count != 0) {
      VANTRIL_TRY(emit(static_cast<const XrefRun&>(run)));
      run.count = 0;
    }
  }
  if (run.count != 0) VANTRIL_TRY(emit(static_cast<const XrefRun&>(run)));
  return {};
}

}  // namespace vantril
