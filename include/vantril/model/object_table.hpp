// A document's indirect objects by identifier, in ascending order, with the interface of an
// ordered map. Each object number has a slot in chunks of a few thousand, so that a million
// objects take a few hundred allocations and no tree node each; an identifier that does not fit
// there (a second generation of a number, or a number far beyond the others) goes into an
// ordered map beside the slots. Entries never move once stored: a reference to an entry stays
// valid until that entry is erased, as with a std::map. An iterator still reaches its own entry
// after others are added, but walks on as the table was when it was made; after an erase, only
// the iterator erase returned is sure to walk on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <map>
#include <type_traits>
#include <utility>
#include <vector>

#include "vantril/detail/export.hpp"
#include "vantril/model/object.hpp"
#include "vantril/model/object_id.hpp"

namespace vantril {

class VANTRIL_API ObjectTable {
 public:
  using key_type = ObjectId;
  using mapped_type = Object;
  using value_type = std::pair<const ObjectId, Object>;
  using size_type = std::size_t;

 private:
  using Side = std::map<ObjectId, Object>;
  template <bool constant>
  class Cursor;

 public:
  using iterator = Cursor<false>;
  using const_iterator = Cursor<true>;
  using reverse_iterator = std::reverse_iterator<iterator>;
  using const_reverse_iterator = std::reverse_iterator<const_iterator>;

  ObjectTable() = default;
  ObjectTable(ObjectTable&& other) noexcept;
  ObjectTable& operator=(ObjectTable&& other) noexcept;
  ObjectTable(const ObjectTable&) = delete;
  ObjectTable& operator=(const ObjectTable&) = delete;
  ~ObjectTable();

  inline iterator begin();
  inline iterator end();
  inline const_iterator begin() const;
  inline const_iterator end() const;
  inline const_iterator cbegin() const;
  inline const_iterator cend() const;
  inline reverse_iterator rbegin();
  inline reverse_iterator rend();
  inline const_reverse_iterator rbegin() const;
  inline const_reverse_iterator rend() const;

  size_type size() const { return in_slots_ + side_.size(); }
  bool empty() const { return size() == 0; }

  iterator find(ObjectId id);
  const_iterator find(ObjectId id) const;
  size_type count(ObjectId id) const { return find_entry(id) != nullptr ? 1 : 0; }
  bool contains(ObjectId id) const { return find_entry(id) != nullptr; }
  // The object under the identifier; an absent one is a broken invariant and ends the process.
  Object& at(ObjectId id);
  const Object& at(ObjectId id) const;
  // The first entry whose identifier is not below the given one.
  iterator lower_bound(ObjectId id);
  const_iterator lower_bound(ObjectId id) const;

  // Stores the object, replacing any under the identifier; true when the identifier is new.
  std::pair<iterator, bool> insert_or_assign(ObjectId id, Object object);
  // Stores the object unless the identifier is taken; true when it was stored.
  std::pair<iterator, bool> emplace(ObjectId id, Object object);
  // The hint is accepted for the map's interface; a slot needs none.
  inline iterator insert_or_assign(const_iterator hint, ObjectId id, Object object);
  inline iterator emplace_hint(const_iterator hint, ObjectId id, Object object);

  // Removes the entry and returns the one after it.
  iterator erase(const_iterator position);
  iterator erase(iterator position);
  size_type erase(ObjectId id);
  void clear();

 private:
  static constexpr unsigned chunk_bits = 12;
  static constexpr std::uint32_t chunk_slots = std::uint32_t{1} << chunk_bits;
  static constexpr std::uint32_t no_slot = 0xFFFFFFFFu;
  struct Chunk {
    std::uint64_t used[chunk_slots / 64];
    // Raw room for the entries; the used bits say which are alive.
    alignas(value_type) unsigned char room[chunk_slots * sizeof(value_type)];
    value_type* entry(std::uint32_t at) {
      return std::launder(reinterpret_cast<value_type*>(room) + at);
    }
  };

  const value_type* find_entry(ObjectId id) const;
  value_type* slot_entry(std::uint32_t number) const;
  // The first used slot at or after `number`, or no_slot.
  std::uint32_t next_slot(std::uint64_t number) const;
  // The last used slot before `number`, or no_slot.
  std::uint32_t previous_slot(std::uint32_t number) const;
  // Whether a new number goes into a slot rather than the map beside them.
  bool fits_slots(std::uint32_t number) const;
  value_type* store_in_slot(ObjectId id, Object&& object);
  void erase_slot(std::uint32_t number);
  // The cursor at an entry held in a slot or beside them.
  template <class Cursor>
  Cursor cursor_at_slot(std::uint32_t number) const;
  template <class Cursor, class SideIterator>
  Cursor cursor_at_side(SideIterator side) const;
  template <class Cursor>
  Cursor lower_bound_of(ObjectId id) const;

  // chunks_[k] holds numbers k * chunk_slots up to the next chunk's first; null until used.
  std::vector<Chunk*> chunks_;
  std::size_t in_slots_ = 0;
  Side side_;
};

// A position in the merged order of the slots and the map beside them: the next slot and the
// next map entry; the entry it stands on is the smaller of the two.
template <bool constant>
class ObjectTable::Cursor {
  using SideIterator = std::conditional_t<constant, Side::const_iterator, Side::iterator>;

 public:
  using iterator_category = std::bidirectional_iterator_tag;
  using value_type = ObjectTable::value_type;
  using difference_type = std::ptrdiff_t;
  using pointer = std::conditional_t<constant, const value_type*, value_type*>;
  using reference = std::conditional_t<constant, const value_type&, value_type&>;

  Cursor() = default;
  template <bool other_constant>
  requires(constant && !other_constant) Cursor(const Cursor<other_constant>& other)
      : table_(other.table_), slot_(other.slot_), side_(other.side_) {}

  reference operator*() const { return on_slot() ? *table_->slot_entry(slot_) : *side_; }
  pointer operator->() const { return &**this; }

  Cursor& operator++() {
    if (on_slot()) {
      slot_ = table_->next_slot(std::uint64_t{slot_} + 1);
    } else {
      ++side_;
    }
    return *this;
  }
  Cursor operator++(int) {
    Cursor before = *this;
    ++*this;
    return before;
  }
  Cursor& operator--() {
    const std::uint32_t previous = table_->previous_slot(slot_);
    const bool side_behind = side_ != side_begin();
    if (previous == no_slot ||
        (side_behind && table_->slot_entry(previous)->first < std::prev(side_)->first)) {
      --side_;
    } else {
      slot_ = previous;
    }
    return *this;
  }
  Cursor operator--(int) {
    Cursor before = *this;
    --*this;
    return before;
  }

  friend bool operator==(const Cursor& a, const Cursor& b) {
    return a.slot_ == b.slot_ && a.side_ == b.side_;
  }

 private:
  friend class ObjectTable;
  template <bool>
  friend class Cursor;
  using Table = std::conditional_t<constant, const ObjectTable, ObjectTable>;

  Cursor(const ObjectTable* table, std::uint32_t slot, SideIterator side)
      : table_(table), slot_(slot), side_(side) {}

  SideIterator side_end() const { return const_cast<Table*>(table_)->side_.end(); }
  SideIterator side_begin() const { return const_cast<Table*>(table_)->side_.begin(); }
  bool on_slot() const {
    if (slot_ == no_slot) return false;
    return side_ == side_end() || table_->slot_entry(slot_)->first < side_->first;
  }

  const ObjectTable* table_ = nullptr;
  std::uint32_t slot_ = no_slot;
  SideIterator side_{};
};

inline ObjectTable::iterator ObjectTable::begin() {
  return iterator(this, next_slot(0), side_.begin());
}
inline ObjectTable::iterator ObjectTable::end() { return iterator(this, no_slot, side_.end()); }
inline ObjectTable::const_iterator ObjectTable::begin() const {
  return const_iterator(this, next_slot(0), side_.begin());
}
inline ObjectTable::const_iterator ObjectTable::end() const {
  return const_iterator(this, no_slot, side_.end());
}
inline ObjectTable::const_iterator ObjectTable::cbegin() const { return begin(); }
inline ObjectTable::const_iterator ObjectTable::cend() const { return end(); }
inline ObjectTable::iterator ObjectTable::insert_or_assign(const_iterator, ObjectId id,
                                                           Object object) {
  return insert_or_assign(id, std::move(object)).first;
}
inline ObjectTable::iterator ObjectTable::emplace_hint(const_iterator, ObjectId id, Object object) {
  return emplace(id, std::move(object)).first;
}
inline ObjectTable::reverse_iterator ObjectTable::rbegin() { return reverse_iterator(end()); }
inline ObjectTable::reverse_iterator ObjectTable::rend() { return reverse_iterator(begin()); }
inline ObjectTable::const_reverse_iterator ObjectTable::rbegin() const {
  return const_reverse_iterator(end());
}
inline ObjectTable::const_reverse_iterator ObjectTable::rend() const {
  return const_reverse_iterator(begin());
}

inline ObjectTable::value_type* ObjectTable::slot_entry(std::uint32_t number) const {
  return chunks_[number >> chunk_bits]->entry(number & (chunk_slots - 1));
}

}  // namespace vantril
