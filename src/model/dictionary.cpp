// The insertion-ordered dictionary and its open-addressing hash index.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>

#include "model/block_pool.hpp"
#include "runtime/fatal.hpp"
#include "runtime/platform.hpp"
#include "vantril/model/object.hpp"

namespace vantril {

namespace {

// Every dictionary hashes with its own seed: one random value per process, varied by a counter.
std::uint32_t next_dictionary_seed() {
  static const std::uint64_t process_seed = os::random_seed();
  static std::atomic<std::uint64_t> counter{0};
  std::uint64_t x = process_seed + 0x9E3779B97F4A7C15ULL * (counter.fetch_add(1) + 1);
  x ^= x >> 31;
  x *= 0xBF58476D1CE4E5B9ULL;
  x ^= x >> 29;
  return static_cast<std::uint32_t>(x);
}

std::uint64_t mix(std::uint64_t x) {
  x ^= x >> 32;
  x *= 0xD6E8FEB86659FD93ULL;
  x ^= x >> 32;
  x *= 0xD6E8FEB86659FD93ULL;
  x ^= x >> 32;
  return x;
}

template <class T>
T load(const char* bytes) {
  T value;
  std::memcpy(&value, bytes, sizeof value);
  return value;
}

// The 128-bit product of two words folded to 64 bits: one multiplication carries every bit of
// both words into the low bits that pick a slot.
std::uint64_t multiply_fold(std::uint64_t a, std::uint64_t b) {
  __extension__ using Wide = unsigned __int128;
  const Wide product = static_cast<Wide>(a) * b;
  return static_cast<std::uint64_t>(product) ^ static_cast<std::uint64_t>(product >> 64);
}

inline std::uint64_t hash_key(std::string_view key, std::uint32_t seed) {
  const char* bytes = key.data();
  const std::size_t size = key.size();
  std::uint64_t h = seed ^ (size * 0x9E3779B97F4A7C15ULL);
  if (size <= 16) {
    // Nearly every key is this short: two loads from its two ends (overlapping when shorter
    // than twice their width) cover all its bytes, without a loop.
    std::uint64_t first = 0;
    std::uint64_t last = 0;
    if (size >= 8) {
      first = load<std::uint64_t>(bytes);
      last = load<std::uint64_t>(bytes + size - 8);
    } else if (size >= 4) {
      first = load<std::uint32_t>(bytes);
      last = load<std::uint32_t>(bytes + size - 4);
    } else if (size > 0) {
      first = static_cast<unsigned char>(bytes[0]);
      last = std::uint64_t{static_cast<unsigned char>(bytes[size / 2])} << 8 |
             std::uint64_t{static_cast<unsigned char>(bytes[size - 1])} << 16;
    }
    // The seed and the size enter both factors (the second with its halves swapped), so that
    // neither becomes a constant an adversary could aim at.
    return multiply_fold(first ^ h ^ 0xA0761D6478BD642FULL,
                         last ^ (h << 32 | h >> 32) ^ 0xE7037ED1A0B428DBULL);
  }
  h = mix(h);
  std::size_t i = 0;
  for (; i + 8 <= size; i += 8) h = mix(h ^ load<std::uint64_t>(bytes + i)) + 0x9E3779B97F4A7C15ULL;
  // The last eight bytes again, overlapping, cover any rest.
  if (i < size) h = mix(h ^ load<std::uint64_t>(bytes + size - 8));
  return h;
}

}  // namespace

// A dictionary's block. An indexed block starts with its index: the mask and hash seed, then
// mask + 1 slots; then come the entries, the first `length` of them alive (the length and the
// capacity are the dictionary's own). Slot values are position + 1; 0 marks an empty slot. The
// index has at least twice as many slots as the block has room for entries, so it is never more
// than half full.
//
// A block with room for at most small_capacity entries has no index at all, only its entries:
// its keys are compared one by one, which for so few costs less than hashing them (building a
// dictionary from pairs then hashes nothing). Built from pairs and then read once by each key, a
// scanned dictionary was measured faster up to four keys, as fast from five to eight, and slower
// from nine (by 8% at ten keys, 20% at twenty). A block with room for at most 255 entries has
// one-byte slots, larger ones four-byte slots: a dictionary then has its whole index and its
// first key in one cache line.
struct Dictionary::Block {
  static constexpr std::uint32_t small_capacity = 8;
  static constexpr std::uint32_t narrow_capacity = 255;

  struct Index {
    std::uint32_t mask;
    std::uint32_t seed;
  };

  unsigned char* base;
  std::uint32_t capacity;

  // The bytes before the entries.
  static std::size_t index_bytes(std::uint32_t capacity, std::uint32_t index_size) {
    if (capacity <= small_capacity) return 0;
    const std::size_t width = capacity <= narrow_capacity ? 1 : sizeof(std::uint32_t);
    // The entries after the index keep their alignment.
    constexpr std::size_t align = alignof(DictionaryEntry);
    return sizeof(Index) + (std::size_t{index_size} * width + align - 1) / align * align;
  }

  bool indexed() const { return capacity > small_capacity; }
  bool narrow() const { return capacity <= narrow_capacity; }
  // Indexed blocks only.
  Index& index_header() const { return *reinterpret_cast<Index*>(base); }
  std::uint32_t mask() const { return index_header().mask; }
  std::uint32_t seed() const { return index_header().seed; }
  unsigned char* index() const { return base + sizeof(Index); }
  std::uint32_t slot(std::size_t at) const {
    if (narrow()) return index()[at];
    return reinterpret_cast<const std::uint32_t*>(index())[at];
  }
  void set_slot(std::size_t at, std::uint32_t held) const {
    if (narrow()) {
      index()[at] = static_cast<unsigned char>(held);
    } else {
      reinterpret_cast<std::uint32_t*>(index())[at] = held;
    }
  }
  std::size_t entries_offset() const { return indexed() ? index_bytes(capacity, mask() + 1) : 0; }
  // The whole block, as it was allocated.
  std::size_t bytes() const {
    return entries_offset() + std::size_t{capacity} * sizeof(DictionaryEntry);
  }
  DictionaryEntry* entries() const {
    return reinterpret_cast<DictionaryEntry*>(base + entries_offset());
  }
};

inline Dictionary::Block Dictionary::block() const {
  return Block{static_cast<unsigned char*>(block_), capacity()};
}

namespace {

constexpr std::uint32_t first_capacity = 4;

}  // namespace

Dictionary& Dictionary::operator=(Dictionary&& other) noexcept {
  if (this != &other) {
    // The other may be held inside one of this dictionary's entries: it is taken out first, and
    // this dictionary's old entries die with `taken`.
    Dictionary taken(std::move(other));
    std::swap(block_, taken.block_);
    std::swap(length_, taken.length_);
    const std::uint32_t capacity = this->capacity();
    set_capacity(taken.capacity());
    taken.set_capacity(capacity);
  }
  return *this;
}

Dictionary::~Dictionary() {
  if (block_ == nullptr) return;
  const Block held = block();
  DictionaryEntry* entries = held.entries();
  for (std::uint32_t position = 0; position < length_; ++position) {
    entries[position].~DictionaryEntry();
  }
  detail::free_block(block_, held.bytes());
}

// Two inline keys are equal exactly when their words are, and an inline key never equals a heap
// one: the new key is compared as one word with each stored key. Requires an unindexed block.
[[gnu::always_inline]] inline bool Dictionary::set_unindexed(std::uint64_t key_word,
                                                             Object& value) {
  auto* entries = static_cast<DictionaryEntry*>(block_);
  const std::uint32_t length = length_;
  for (std::uint32_t position = 0; position < length; ++position) {
    if (entries[position].key.word_ == key_word) {
      Object& held = entries[position].value;
      if (&held != &value) Object previous = std::exchange(held, std::move(value));
      return true;
    }
  }
  if (length == capacity()) return false;
  auto* entry = new (&entries[length]) DictionaryEntry{Key(), std::move(value)};
  entry->key.word_ = key_word;
  length_ = length + 1;
  return true;
}

Dictionary Dictionary::from_pairs(std::span<Pair> pairs) {
  Dictionary dictionary;
  if (pairs.empty()) return dictionary;
  // Room for every pair at once: most dictionaries are built this way and never grow again.
  dictionary.regrow(pairs.size());
  std::size_t at = 0;
  if (!dictionary.block().indexed()) {
    // Few pairs, and keys mostly short: each short key's word is made once, in one loop here
    // rather than a call to set for each pair. A key whose bit in `seen` (one of 64, picked by a
    // multiplicative hash of its word) is still clear cannot repeat an earlier key, so it is
    // appended without comparing it with the words stored before it; only the rare key whose bit
    // is taken is looked for.
    std::uint64_t seen = 0;
    auto* entries = static_cast<DictionaryEntry*>(dictionary.block_);
    for (; at < pairs.size() && pairs[at].key.size() <= Key::inline_capacity; ++at) {
      const std::uint64_t word = Key::inline_word(pairs[at].key);
      const std::uint64_t bit = std::uint64_t{1} << ((word * 0x9E3779B97F4A7C15u) >> 58);
      if ((seen & bit) == 0) {
        // The block has room for every pair and no key repeats yet, so the entry is new.
        auto* entry =
            new (&entries[dictionary.length_]) DictionaryEntry{Key(), std::move(pairs[at].value)};
        entry->key.word_ = word;
        ++dictionary.length_;
      } else {
        dictionary.set_unindexed(word, pairs[at].value);
      }
      seen |= bit;
    }
  }
  for (; at < pairs.size(); ++at) dictionary.set(pairs[at].key, std::move(pairs[at].value));
  return dictionary;
}

namespace {

// The position + 1 of the key among the entries, or 0.
inline std::uint32_t scan_for(const DictionaryEntry* entries, std::uint32_t length,
                              std::string_view key) {
  for (std::uint32_t position = 0; position < length; ++position) {
    if (std::string_view(entries[position].key) == key) return position + 1;
  }
  return 0;
}

}  // namespace

// The position + 1 of the key, or 0. Requires a block.
inline std::uint32_t Dictionary::find_position(std::string_view key) const {
  const Block held = block();
  if (!held.indexed()) return scan_for(held.entries(), length_, key);
  return held.slot(find_slot(key));
}

// The slot holding the key, or the empty slot where it would go. Requires an indexed block.
inline std::size_t Dictionary::find_slot(std::string_view key) const {
  const Block held = block();
  const DictionaryEntry* entries = held.entries();
  const std::uint32_t mask = held.mask();
  std::size_t slot = hash_key(key, held.seed()) & mask;
  while (true) {
    const std::uint32_t at = held.slot(slot);
    if (at == 0 || std::string_view(entries[at - 1].key) == key) return slot;
    slot = (slot + 1) & mask;
  }
}

void Dictionary::insert_into_index(std::size_t position) {
  const Block held = block();
  if (!held.indexed()) return;
  const std::size_t slot = find_slot(held.entries()[position].key);
  held.set_slot(slot, static_cast<std::uint32_t>(position + 1));
}

void Dictionary::regrow(std::size_t wanted) {
  if (wanted > max_len) fatal_error("dictionary entry count overflow");
  const auto capacity = static_cast<std::uint32_t>(wanted);
  std::uint32_t index_size = 0;
  if (capacity > Block::small_capacity) {
    index_size = 8;
    while (index_size < 2 * capacity) index_size *= 2;
  }
  static_assert(sizeof(Block::Index) % alignof(std::uint32_t) == 0);
  const std::size_t index_bytes = Block::index_bytes(capacity, index_size);
  const std::size_t bytes = index_bytes + std::size_t{capacity} * sizeof(DictionaryEntry);
  const Block grown{static_cast<unsigned char*>(detail::allocate_block(bytes)), capacity};
  const Block old = block();
  if (index_size != 0) {
    grown.index_header().mask = index_size - 1;
    grown.index_header().seed =
        block_ != nullptr && old.indexed() ? old.seed() : next_dictionary_seed();
    std::memset(grown.index(), 0, index_bytes - sizeof(Block::Index));
  }
  if (block_ != nullptr) {
    DictionaryEntry* from = old.entries();
    DictionaryEntry* to = grown.entries();
    for (std::uint32_t position = 0; position < length_; ++position) {
      new (&to[position]) DictionaryEntry(std::move(from[position]));
      from[position].~DictionaryEntry();
    }
    detail::free_block(block_, old.bytes());
  }
  block_ = grown.base;
  set_capacity(capacity);
  for (std::size_t position = 0; position < length_; ++position) insert_into_index(position);
}

void Dictionary::set(std::string_view key, Object&& value) {
  if (block_ != nullptr && !block().indexed() && key.size() <= Key::inline_capacity) {
    // Most dictionaries are small and built from pairs of short keys: the new key's word is made
    // once and compared with each stored one.
    if (set_unindexed(Key::inline_word(key), value)) return;
  }
  if (block_ != nullptr) {
    // One probe finds the key or the free slot where it goes.
    const Block held = block();
    const bool indexed = held.indexed();
    const std::size_t slot = indexed ? find_slot(key) : 0;
    const std::uint32_t at = indexed ? held.slot(slot) : scan_for(held.entries(), length_, key);
    if (at != 0) {
      // Replace in place: the entry keeps its position and its stored key. Setting an entry's
      // value to itself keeps it.
      Object& stored = held.entries()[at - 1].value;
      if (&stored != &value) Object previous = std::exchange(stored, std::move(value));
      return;
    }
    if (length_ < held.capacity) {
      const std::uint32_t position = length_;
      new (&held.entries()[position]) DictionaryEntry{Key(key), std::move(value)};
      length_ = position + 1;
      if (indexed) held.set_slot(slot, position + 1);
      return;
    }
  }
  // Growing moves every entry to a new block. The key's bytes and the value may be this
  // dictionary's own (a value's name as a new key, an entry's value under a new key), so both
  // are taken out of the old block first.
  Key owned_key(key);
  Object taken = std::move(value);
  const std::size_t capacity = this->capacity();
  if (capacity == max_len) fatal_error("dictionary entry count overflow");
  regrow(capacity == 0 ? first_capacity : std::min(capacity * 2, max_len));
  const std::uint32_t position = length_;
  new (&block().entries()[position]) DictionaryEntry{std::move(owned_key), std::move(taken)};
  length_ = position + 1;
  insert_into_index(position);
}

const Object* Dictionary::get(std::string_view key) const {
  if (block_ == nullptr) return nullptr;
  const std::uint32_t at = find_position(key);
  return at == 0 ? nullptr : &block().entries()[at - 1].value;
}

Object* Dictionary::get(std::string_view key) {
  return const_cast<Object*>(std::as_const(*this).get(key));
}

std::optional<Object> Dictionary::remove(std::string_view key) {
  if (block_ == nullptr) return std::nullopt;
  const Block held = block();
  DictionaryEntry* entries = held.entries();
  if (!held.indexed()) {
    const std::uint32_t at = scan_for(entries, length_, key);
    if (at == 0) return std::nullopt;
    return take_entry(at - 1);
  }
  const std::uint32_t mask = held.mask();
  std::size_t hole = find_slot(key);
  if (held.slot(hole) == 0) return std::nullopt;
  const std::size_t position = held.slot(hole) - 1;

  // Backward-shift deletion keeps every remaining key reachable from its home slot.
  held.set_slot(hole, 0);
  for (std::size_t next = (hole + 1) & mask; held.slot(next) != 0; next = (next + 1) & mask) {
    const std::size_t home = hash_key(entries[held.slot(next) - 1].key, held.seed()) & mask;
    const bool home_is_after_hole =
        hole <= next ? (home > hole && home <= next) : (home > hole || home <= next);
    if (!home_is_after_hole) {
      held.set_slot(hole, held.slot(next));
      held.set_slot(next, 0);
      hole = next;
    }
  }

  const std::size_t last = length_ - 1;
  if (position != last) {
    held.set_slot(find_slot(entries[last].key), static_cast<std::uint32_t>(position + 1));
  }
  return take_entry(position);
}

// Takes the entry's value out and moves the last entry into its position; the index, if any,
// already points at the moved entry's new position.
Object Dictionary::take_entry(std::size_t position) {
  DictionaryEntry* entries = block().entries();
  Object removed = std::move(entries[position].value);
  const std::size_t last = length_ - 1;
  if (position != last) entries[position] = std::move(entries[last]);
  entries[last].~DictionaryEntry();
  length_ = static_cast<std::uint32_t>(last);
  return removed;
}

std::span<const DictionaryEntry> Dictionary::iter() const {
  if (block_ == nullptr) return {};
  return {block().entries(), length_};
}

std::span<DictionaryEntry> Dictionary::entries_in_place() {
  if (block_ == nullptr) return {};
  return {block().entries(), length_};
}

Dictionary Dictionary::copy_keys(Object (*shell)(const Object&)) const {
  Dictionary copy;
  if (block_ == nullptr) return copy;
  copy.regrow(capacity());
  const DictionaryEntry* entries = block().entries();
  DictionaryEntry* to = copy.block().entries();
  for (std::uint32_t position = 0; position < length_; ++position) {
    new (&to[position]) DictionaryEntry{entries[position].key, shell(entries[position].value)};
    copy.length_ = position + 1;
    copy.insert_into_index(position);
  }
  return copy;
}

}  // namespace vantril
