// The object table's slots and the map beside them.
#include "vantril/model/object_table.hpp"

#include <bit>
#include <new>

#include "runtime/fatal.hpp"
#include "runtime/platform.hpp"

namespace vantril {

namespace {

// Numbers up to this far beyond twice the stored count get slots: a document numbered densely
// from 1 keeps all its objects there, while one odd number near 2^32 in a hostile file costs
// one map entry, not gigabytes of empty slots.
constexpr std::uint64_t slot_headroom = 1 << 16;

}  // namespace

ObjectTable::ObjectTable(ObjectTable&& other) noexcept
    : chunks_(std::move(other.chunks_)),
      in_slots_(std::exchange(other.in_slots_, 0)),
      side_(std::move(other.side_)) {
  other.chunks_.clear();
  other.side_.clear();
}

ObjectTable& ObjectTable::operator=(ObjectTable&& other) noexcept {
  if (this != &other) {
    // The other may be held by an object of this table: it is taken out before this one's
    // entries go.
    ObjectTable taken(std::move(other));
    std::swap(chunks_, taken.chunks_);
    std::swap(in_slots_, taken.in_slots_);
    std::swap(side_, taken.side_);
  }
  return *this;
}

ObjectTable::~ObjectTable() { clear(); }

void ObjectTable::clear() {
  // Taken out first, so that an object whose destruction looks at this table finds it empty.
  std::vector<Chunk*> chunks = std::move(chunks_);
  chunks_.clear();
  in_slots_ = 0;
  Side side = std::move(side_);
  side_.clear();
  for (Chunk* chunk : chunks) {
    if (chunk == nullptr) continue;
    for (std::uint32_t word = 0; word < chunk_slots / 64; ++word) {
      for (std::uint64_t bits = chunk->used[word]; bits != 0; bits &= bits - 1) {
        chunk->entry(word * 64 + static_cast<std::uint32_t>(std::countr_zero(bits)))->~value_type();
      }
    }
    ::operator delete(chunk);
  }
}

const ObjectTable::value_type* ObjectTable::find_entry(ObjectId id) const {
  const std::size_t chunk = id.number >> chunk_bits;
  if (chunk < chunks_.size() && chunks_[chunk] != nullptr) {
    const std::uint32_t at = id.number & (chunk_slots - 1);
    if ((chunks_[chunk]->used[at / 64] >> (at % 64) & 1) != 0) {
      const value_type* entry = chunks_[chunk]->entry(at);
      if (entry->first == id) return entry;
    }
  }
  if (side_.empty()) return nullptr;
  const auto found = side_.find(id);
  return found != side_.end() ? &*found : nullptr;
}

std::uint32_t ObjectTable::next_slot(std::uint64_t number) const {
  for (std::size_t chunk = number >> chunk_bits; chunk < chunks_.size(); ++chunk) {
    const Chunk* held = chunks_[chunk];
    const std::uint64_t first = std::uint64_t{chunk} << chunk_bits;
    if (held == nullptr) continue;
    const std::uint32_t at = number > first ? static_cast<std::uint32_t>(number - first) : 0;
    for (std::uint32_t word = at / 64; word < chunk_slots / 64; ++word) {
      std::uint64_t bits = held->used[word];
      if (word == at / 64) bits &= ~std::uint64_t{0} << (at % 64);
      if (bits != 0) {
        return static_cast<std::uint32_t>(first + std::uint64_t{word} * 64 +
                                          static_cast<std::uint32_t>(std::countr_zero(bits)));
      }
    }
  }
  return no_slot;
}

std::uint32_t ObjectTable::previous_slot(std::uint32_t number) const {
  // Every slot lies below no_slot: from the end, the last used slot of all.
  std::uint64_t before = number == no_slot ? std::uint64_t{chunks_.size()} << chunk_bits : number;
  while (before > 0) {
    const std::size_t chunk = (before - 1) >> chunk_bits;
    const Chunk* held = chunks_[chunk];
    const std::uint64_t first = std::uint64_t{chunk} << chunk_bits;
    if (held != nullptr) {
      const auto last = static_cast<std::uint32_t>(before - 1 - first);
      for (std::uint32_t word = last / 64 + 1; word-- > 0;) {
        std::uint64_t bits = held->used[word];
        if (word == last / 64 && last % 64 != 63) bits &= (std::uint64_t{1} << (last % 64 + 1)) - 1;
        if (bits != 0) {
          return static_cast<std::uint32_t>(first + std::uint64_t{word} * 64 + 63 -
                                            static_cast<std::uint32_t>(std::countl_zero(bits)));
        }
      }
    }
    before = first;
  }
  return no_slot;
}

bool ObjectTable::fits_slots(std::uint32_t number) const {
  if (number == no_slot) return false;
  if ((number >> chunk_bits) < chunks_.size()) return true;
  return number < 2 * std::uint64_t{size()} + slot_headroom;
}

ObjectTable::value_type* ObjectTable::store_in_slot(ObjectId id, Object&& object) {
  const std::size_t chunk = id.number >> chunk_bits;
  if (chunk >= chunks_.size()) chunks_.resize(chunk + 1, nullptr);
  if (chunks_[chunk] == nullptr) {
    auto* made = static_cast<Chunk*>(::operator new(sizeof(Chunk)));
    // A table past its first chunk is a large one, and fills each chunk it makes: the chunk's
    // pages are made present in one call, not one fault at a time.
    if (chunk != 0) os::prefault_for_writing(made, sizeof(Chunk));
    for (std::uint64_t& word : made->used) word = 0;
    chunks_[chunk] = made;
  }
  Chunk& held = *chunks_[chunk];
  const std::uint32_t at = id.number & (chunk_slots - 1);
  held.used[at / 64] |= std::uint64_t{1} << (at % 64);
  ++in_slots_;
  return new (reinterpret_cast<value_type*>(held.room) + at) value_type(id, std::move(object));
}

void ObjectTable::erase_slot(std::uint32_t number) {
  Chunk& held = *chunks_[number >> chunk_bits];
  const std::uint32_t at = number & (chunk_slots - 1);
  // Marked free first, so that the object's destruction finds the table consistent.
  held.used[at / 64] &= ~(std::uint64_t{1} << (at % 64));
  --in_slots_;
  held.entry(at)->~value_type();
}

template <class Cursor>
Cursor ObjectTable::cursor_at_slot(std::uint32_t number) const {
  auto* self = const_cast<ObjectTable*>(this);
  // The map's entries before this one are those with smaller identifiers.
  return Cursor(this, number, self->side_.upper_bound(slot_entry(number)->first));
}

template <class Cursor, class SideIterator>
Cursor ObjectTable::cursor_at_side(SideIterator side) const {
  // The slots before this entry are those with smaller identifiers: the slot of its own number
  // among them when that holds a lower generation.
  const ObjectId id = side->first;
  std::uint32_t slot = next_slot(id.number);
  if (slot != no_slot && slot == id.number && slot_entry(slot)->first < id) {
    slot = next_slot(std::uint64_t{slot} + 1);
  }
  return Cursor(this, slot, side);
}

template <class Cursor>
Cursor ObjectTable::lower_bound_of(ObjectId id) const {
  auto* self = const_cast<ObjectTable*>(this);
  std::uint32_t slot = next_slot(id.number);
  if (slot != no_slot && slot == id.number && slot_entry(slot)->first < id) {
    slot = next_slot(std::uint64_t{slot} + 1);
  }
  return Cursor(this, slot, self->side_.lower_bound(id));
}

ObjectTable::iterator ObjectTable::find(ObjectId id) {
  const value_type* entry = find_entry(id);
  if (entry == nullptr) return end();
  const std::size_t chunk = id.number >> chunk_bits;
  if (chunk < chunks_.size() && chunks_[chunk] != nullptr &&
      entry == chunks_[chunk]->entry(id.number & (chunk_slots - 1))) {
    return cursor_at_slot<iterator>(id.number);
  }
  return cursor_at_side<iterator>(side_.find(id));
}

ObjectTable::const_iterator ObjectTable::find(ObjectId id) const {
  return const_cast<ObjectTable*>(this)->find(id);
}

Object& ObjectTable::at(ObjectId id) {
  const value_type* entry = find_entry(id);
  if (entry == nullptr) fatal_error("object table: no object under the identifier asked for");
  return const_cast<value_type*>(entry)->second;
}

const Object& ObjectTable::at(ObjectId id) const { return const_cast<ObjectTable*>(this)->at(id); }

ObjectTable::iterator ObjectTable::lower_bound(ObjectId id) { return lower_bound_of<iterator>(id); }

ObjectTable::const_iterator ObjectTable::lower_bound(ObjectId id) const {
  return lower_bound_of<const_iterator>(id);
}

std::pair<ObjectTable::iterator, bool> ObjectTable::emplace(ObjectId id, Object object) {
  if (find_entry(id) != nullptr) return {find(id), false};
  const std::size_t chunk = id.number >> chunk_bits;
  const bool slot_free =
      chunk >= chunks_.size() || chunks_[chunk] == nullptr ||
      (chunks_[chunk]->used[(id.number & (chunk_slots - 1)) / 64] >> (id.number % 64) & 1) == 0;
  if (slot_free && fits_slots(id.number)) {
    store_in_slot(id, std::move(object));
    return {cursor_at_slot<iterator>(id.number), true};
  }
  const auto placed = side_.emplace(id, std::move(object)).first;
  return {cursor_at_side<iterator>(placed), true};
}

std::pair<ObjectTable::iterator, bool> ObjectTable::insert_or_assign(ObjectId id, Object object) {
  if (const value_type* entry = find_entry(id)) {
    // The old object dies after the new one is in place: it may hold the new one.
    Object old = std::exchange(const_cast<value_type*>(entry)->second, std::move(object));
    return {find(id), false};
  }
  return emplace(id, std::move(object));
}

ObjectTable::iterator ObjectTable::erase(iterator position) {
  iterator next = position;
  ++next;
  if (position.on_slot()) {
    // next's slot head already lies past the erased slot.
    erase_slot(position.slot_);
  } else {
    // next.side_ already points past the erased entry, and map iterators stay valid.
    side_.erase(position.side_);
  }
  return next;
}

ObjectTable::iterator ObjectTable::erase(const_iterator position) {
  if (position == const_iterator(end())) return end();
  return erase(find(position->first));
}

ObjectTable::size_type ObjectTable::erase(ObjectId id) {
  const value_type* entry = find_entry(id);
  if (entry == nullptr) return 0;
  erase(find(id));
  return 1;
}

}  // namespace vantril
