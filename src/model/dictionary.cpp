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

// The header of a dictionary's block: the number of entries alive and the room for them. An
// indexed block has the index next, its mask and hash seed first and then its mask + 1
// slots; then come the entries, the first `length` of them alive. Slot values are position + 1;
// 0 marks an empty slot. The index has at least twice as many slots as the block has room for
// entries, so it is never more than half full.
//
// A block with room for at most small_capacity entries has no index at all: its keys are
// compared one by one, which for so few costs less than hashing them (building a dictionary from
// pairs then hashes nothing), and its entries follow the header. Built from pairs and then read
// once by each key, a scanned dictionary was measured faster up to four keys, as fast from five
// to eight, and slower from nine (by 8% at ten keys, 20% at twenty). A block with room for at most
// 255 entries has one-byte slots, larger ones four-byte slots: a dictionary then has its header,
// its whole index and its first key in one cache line.
struct Dictionary::Block {
  static constexpr std::uint32_t small_capacity = 8;
  static constexpr std::uint32_t narrow_capacity = 255;

  struct Index {
    std::uint32_t mask;
    std::uint32_t seed;
  };

  std::uint32_t length;
  std::uint32_t capacity;

  // The bytes between the header and the entries.
  static std::size_t index_bytes(std::uint32_t capacity, std::uint32_t index_size) {
    if (capacity <= small_capacity) return 0;
    const std::size_t width = capacity <= narrow_capacity ? 1 : sizeof(std::uint32_t);
    // The entries after the index keep their alignment.
    constexpr std::size_t align = alignof(DictionaryEntry);
    return sizeof(Index) + (std::size_t{index_size} * width + align - 1) / align * align;
  }

  bool indexed() const { return capacity > small_capacity; }
  bool narrow() const { return capacity <= narrow_capacity; }
  unsigned char* after_header() { return reinterpret_cast<unsigned char*>(this + 1); }
  const unsigned char* after_header() const {
    return reinterpret_cast<const unsigned char*>(this + 1);
  }
  // Indexed blocks only.
  Index& index_header() { return *reinterpret_cast<Index*>(after_header()); }
  const Index& index_header() const { return *reinterpret_cast<const Index*>(after_header()); }
  std::uint32_t mask() const { return index_header().mask; }
  std::uint32_t seed() const { return index_header().seed; }
  unsigned char* index() { return after_header() + sizeof(Index); }
  const unsigned char* index() const { return after_header() + sizeof(Index); }
  std::uint32_t slot(std::size_t at) const {
    if (narrow()) return index()[at];
    return reinterpret_cast<const std::uint32_t*>(index())[at];
  }
  void set_slot(std::size_t at, std::uint32_t held) {
    if (narrow()) {
      index()[at] = static_cast<unsigned char>(held);
    } else {
      reinterpret_cast<std::uint32_t*>(index())[at] = held;
    }
  }
  std::size_t entries_offset() const { return indexed() ? index_bytes(capacity, mask() + 1) : 0; }
  // The whole block, as it was allocated.
  std::size_t bytes() const {
    return sizeof(Block) + entries_offset() + std::size_t{capacity} * sizeof(DictionaryEntry);
  }
  DictionaryEntry* entries() {
    return reinterpret_cast<DictionaryEntry*>(after_header() + entries_offset());
  }
  const DictionaryEntry* entries() const {
    return reinterpret_cast<const DictionaryEntry*>(after_header() + entries_offset());
  }
};

namespace {

constexpr std::uint32_t first_capacity = 4;

}  // namespace

Dictionary::Dictionary(Dictionary&& other) noexcept
    : block_(std::exchange(other.block_, nullptr)) {}

Dictionary& Dictionary::operator=(Dictionary&& other) noexcept {
  if (this != &other) {
    Dictionary old(std::move(*this));
    block_ = std::exchange(other.block_, nullptr);
  }
  return *this;
}

Dictionary::~Dictionary() {
  if (block_ == nullptr) return;
  DictionaryEntry* entries = block_->entries();
  for (std::uint32_t position = 0; position < block_->length; ++position) {
    entries[position].~DictionaryEntry();
  }
  detail::free_block(block_, block_->bytes());
}

// Two inline keys are equal exactly when their words are, and an inline key never equals a heap
// one: the new key is compared as one word with each stored key.
[[gnu::always_inline]] inline bool Dictionary::set_unindexed(std::uint64_t key_word,
                                                             Object& value) {
  DictionaryEntry* entries = block_->entries();
  const std::uint32_t length = block_->length;
  for (std::uint32_t position = 0; position < length; ++position) {
    if (entries[position].key.word_ == key_word) {
      Object& held = entries[position].value;
      if (&held != &value) Object previous = std::exchange(held, std::move(value));
      return true;
    }
  }
  if (length == block_->capacity) return false;
  auto* entry = new (&entries[length]) DictionaryEntry{Key(), std::move(value)};
  entry->key.word_ = key_word;
  block_->length = length + 1;
  return true;
}

Dictionary Dictionary::from_pairs(std::span<Pair> pairs) {
  Dictionary dictionary;
  if (pairs.empty()) return dictionary;
  // Room for every pair at once: most dictionaries are built this way and never grow again.
  dictionary.regrow(pairs.size());
  std::size_t at = 0;
  if (!dictionary.block_->indexed()) {
    // Few pairs, and keys mostly short: each short key's word is made once, in one loop here
    // rather than a call to set for each pair. A key whose bit in `seen` (one of 64, picked by a
    // multiplicative hash of its word) is still clear cannot repeat an earlier key, so it is
    // appended without comparing it with the words stored before it; only the rare key whose bit
    // is taken is looked for.
    std::uint64_t seen = 0;
    Block& block = *dictionary.block_;
    DictionaryEntry* entries = block.entries();
    for (; at < pairs.size() && pairs[at].key.size() <= Key::inline_capacity; ++at) {
      const std::uint64_t word = Key::inline_word(pairs[at].key);
      const std::uint64_t bit = std::uint64_t{1} << ((word * 0x9E3779B97F4A7C15u) >> 58);
      if ((seen & bit) == 0) {
        // The block has room for every pair and no key repeats yet, so the entry is new.
        auto* entry =
            new (&entries[block.length]) DictionaryEntry{Key(), std::move(pairs[at].value)};
        entry->key.word_ = word;
        ++block.length;
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
  const Block& block = *block_;
  if (!block.indexed()) return scan_for(block.entries(), block.length, key);
  return block.slot(find_slot(key));
}

// The slot holding the key, or the empty slot where it would go. Requires an indexed block.
inline std::size_t Dictionary::find_slot(std::string_view key) const {
  const Block& block = *block_;
  const DictionaryEntry* entries = block.entries();
  const std::uint32_t mask = block.mask();
  std::size_t slot = hash_key(key, block.seed()) & mask;
  while (true) {
    const std::uint32_t held = block.slot(slot);
    if (held == 0 || std::string_view(entries[held - 1].key) == key) return slot;
    slot = (slot + 1) & mask;
  }
}

void Dictionary::insert_into_index(std::size_t position) {
  if (!block_->indexed()) return;
  const std::size_t slot = find_slot(block_->entries()[position].key);
  block_->set_slot(slot, static_cast<std::uint32_t>(position + 1));
}

void Dictionary::regrow(std::size_t wanted) {
  if (wanted > max_len) fatal_error("dictionary entry count overflow");
  const auto capacity = static_cast<std::uint32_t>(wanted);
  std::uint32_t index_size = 0;
  if (capacity > Block::small_capacity) {
    index_size = 8;
    while (index_size < 2 * capacity) index_size *= 2;
  }
  static_assert(sizeof(Block) % alignof(DictionaryEntry) == 0);
  static_assert(sizeof(Block) % alignof(std::uint32_t) == 0);
  const std::size_t index_bytes = Block::index_bytes(capacity, index_size);
  const std::size_t bytes =
      sizeof(Block) + index_bytes + std::size_t{capacity} * sizeof(DictionaryEntry);
  auto* grown = static_cast<Block*>(detail::allocate_block(bytes));
  grown->length = 0;
  grown->capacity = capacity;
  if (index_size != 0) {
    grown->index_header().mask = index_size - 1;
    grown->index_header().seed =
        block_ != nullptr && block_->indexed() ? block_->seed() : next_dictionary_seed();
    std::memset(grown->index(), 0, index_bytes - sizeof(Block::Index));
  }
  if (block_ != nullptr) {
    DictionaryEntry* from = block_->entries();
    DictionaryEntry* to = grown->entries();
    for (std::uint32_t position = 0; position < block_->length; ++position) {
      new (&to[position]) DictionaryEntry(std::move(from[position]));
      from[position].~DictionaryEntry();
    }
    grown->length = block_->length;
    detail::free_block(block_, block_->bytes());
  }
  block_ = grown;
  for (std::size_t position = 0; position < block_->length; ++position) {
    insert_into_index(position);
  }
}

void Dictionary::set(std::string_view key, Object&& value) {
  if (block_ != nullptr && !block_->indexed() && key.size() <= Key::inline_capacity) {
    // Most dictionaries are small and built from pairs of short keys: the new key's word is made
    // once and compared with each stored one.
    if (set_unindexed(Key::inline_word(key), value)) return;
  }
  if (block_ != nullptr) {
    // One probe finds the key or the free slot where it goes.
    const bool indexed = block_->indexed();
    const std::size_t slot = indexed ? find_slot(key) : 0;
    const std::uint32_t held =
        indexed ? block_->slot(slot) : scan_for(block_->entries(), block_->length, key);
    if (held != 0) {
      // Replace in place: the entry keeps its position and its stored key. Setting an entry's
      // value to itself keeps it.
      Object& stored = block_->entries()[held - 1].value;
      if (&stored != &value) Object previous = std::exchange(stored, std::move(value));
      return;
    }
    if (block_->length < block_->capacity) {
      const std::uint32_t position = block_->length;
      new (&block_->entries()[position]) DictionaryEntry{Key(key), std::move(value)};
      block_->length = position + 1;
      if (indexed) block_->set_slot(slot, position + 1);
      return;
    }
  }
  // Growing moves every entry to a new block. The key's bytes and the value may be this
  // dictionary's own (a value's name as a new key, an entry's value under a new key), so both
  // are taken out of the old block first.
  Key owned_key(key);
  Object taken = std::move(value);
  const std::size_t capacity = block_ == nullptr ? 0 : block_->capacity;
  if (capacity == max_len) fatal_error("dictionary entry count overflow");
  regrow(capacity == 0 ? first_capacity : std::min(capacity * 2, max_len));
  const std::uint32_t position = block_->length;
  new (&block_->entries()[position]) DictionaryEntry{std::move(owned_key), std::move(taken)};
  block_->length = position + 1;
  insert_into_index(position);
}

const Object* Dictionary::get(std::string_view key) const {
  if (block_ == nullptr) return nullptr;
  const std::uint32_t held = find_position(key);
  return held == 0 ? nullptr : &block_->entries()[held - 1].value;
}

Object* Dictionary::get(std::string_view key) {
  return const_cast<Object*>(std::as_const(*this).get(key));
}

std::optional<Object> Dictionary::remove(std::string_view key) {
  if (block_ == nullptr) return std::nullopt;
  Block& block = *block_;
  DictionaryEntry* entries = block.entries();
  if (!block.indexed()) {
    const std::uint32_t held = scan_for(entries, block.length, key);
    if (held == 0) return std::nullopt;
    return take_entry(held - 1);
  }
  const std::uint32_t mask = block.mask();
  std::size_t hole = find_slot(key);
  if (block.slot(hole) == 0) return std::nullopt;
  const std::size_t position = block.slot(hole) - 1;

  // Backward-shift deletion keeps every remaining key reachable from its home slot.
  block.set_slot(hole, 0);
  for (std::size_t next = (hole + 1) & mask; block.slot(next) != 0; next = (next + 1) & mask) {
    const std::size_t home = hash_key(entries[block.slot(next) - 1].key, block.seed()) & mask;
    const bool home_is_after_hole =
        hole <= next ? (home > hole && home <= next) : (home > hole || home <= next);
    if (!home_is_after_hole) {
      block.set_slot(hole, block.slot(next));
      block.set_slot(next, 0);
      hole = next;
    }
  }

  const std::size_t last = block_->length - 1;
  if (position != last) {
    block.set_slot(find_slot(entries[last].key), static_cast<std::uint32_t>(position + 1));
  }
  return take_entry(position);
}

// Takes the entry's value out and moves the last entry into its position; the index, if any,
// already points at the moved entry's new position.
Object Dictionary::take_entry(std::size_t position) {
  DictionaryEntry* entries = block_->entries();
  Object removed = std::move(entries[position].value);
  const std::size_t last = block_->length - 1;
  if (position != last) entries[position] = std::move(entries[last]);
  entries[last].~DictionaryEntry();
  block_->length = static_cast<std::uint32_t>(last);
  return removed;
}

std::size_t Dictionary::len() const { return block_ != nullptr ? block_->length : 0; }

std::span<const DictionaryEntry> Dictionary::iter() const {
  if (block_ == nullptr) return {};
  return {block_->entries(), block_->length};
}

std::span<DictionaryEntry> Dictionary::entries_in_place() {
  if (block_ == nullptr) return {};
  return {block_->entries(), block_->length};
}

Dictionary Dictionary::copy_keys(Object (*shell)(const Object&)) const {
  Dictionary copy;
  if (block_ == nullptr) return copy;
  copy.regrow(block_->capacity);
  const DictionaryEntry* entries = block_->entries();
  for (std::uint32_t position = 0; position < block_->length; ++position) {
    new (&copy.block_->entries()[position])
        DictionaryEntry{entries[position].key, shell(entries[position].value)};
    copy.block_->length = position + 1;
    copy.insert_into_index(position);
  }
  return copy;
}

}  // namespace vantril
