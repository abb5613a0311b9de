// The insertion-ordered dictionary and its open-addressing hash index.
#include <atomic>
#include <cstring>

#include "model/object.hpp"
#include "runtime/fatal.hpp"
#include "runtime/platform.hpp"

namespace vantril {

namespace {

constexpr std::uint32_t initial_index_size = 8;

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

std::uint64_t hash_key(std::string_view key, std::uint32_t seed) {
  std::uint64_t h = mix(seed ^ (key.size() * 0x9E3779B97F4A7C15ULL));
  std::size_t i = 0;
  for (; i + 8 <= key.size(); i += 8) {
    std::uint64_t chunk = 0;
    std::memcpy(&chunk, key.data() + i, 8);
    h = mix(h ^ chunk) + 0x9E3779B97F4A7C15ULL;
  }
  if (i < key.size()) {
    std::uint64_t chunk = 0;
    std::memcpy(&chunk, key.data() + i, key.size() - i);
    h = mix(h ^ chunk);
  }
  return h;
}

}  // namespace

Dictionary::Dictionary(Dictionary&& other) noexcept
    : entries_(std::move(other.entries_)),
      index_(std::move(other.index_)),
      index_mask_(other.index_mask_),
      seed_(other.seed_) {
  other.entries_.clear();
  other.index_mask_ = 0;
}

Dictionary& Dictionary::operator=(Dictionary&& other) noexcept {
  if (this != &other) {
    entries_ = std::move(other.entries_);
    index_ = std::move(other.index_);
    index_mask_ = other.index_mask_;
    seed_ = other.seed_;
    other.entries_.clear();
    other.index_mask_ = 0;
  }
  return *this;
}

Dictionary::~Dictionary() = default;

Dictionary Dictionary::from_pairs(std::span<Pair> pairs) {
  Dictionary dictionary;
  for (Pair& pair : pairs) dictionary.set(pair.key, std::move(pair.value));
  return dictionary;
}

// The slot holding the key, or the empty slot where it would go. Requires an index.
std::size_t Dictionary::find_slot(std::string_view key) const {
  std::size_t slot = hash_key(key, seed_) & index_mask_;
  while (true) {
    const std::uint32_t held = index_[slot];
    if (held == 0 || entries_[held - 1].key == key) return slot;
    slot = (slot + 1) & index_mask_;
  }
}

void Dictionary::insert_into_index(std::size_t position) {
  const std::size_t slot = find_slot(entries_[position].key);
  index_[slot] = static_cast<std::uint32_t>(position + 1);
}

void Dictionary::grow_index() {
  const std::uint32_t size = index_ ? (index_mask_ + 1) * 2 : initial_index_size;
  if (!index_) seed_ = next_dictionary_seed();
  index_ = std::make_unique<std::uint32_t[]>(size);
  index_mask_ = size - 1;
  for (std::size_t position = 0; position < entries_.size(); ++position) {
    insert_into_index(position);
  }
}

void Dictionary::set(std::string_view key, Object value) {
  if (index_) {
    const std::size_t slot = find_slot(key);
    if (index_[slot] != 0) {
      // Replace in place: the entry keeps its position and its stored key.
      Object previous = std::exchange(entries_[index_[slot] - 1].value, std::move(value));
      return;
    }
  }
  if (entries_.size() >= 0xFFFFFFFEu) fatal_error("dictionary entry count overflow");
  // Keep the index at most half full.
  if (!index_ || (entries_.size() + 1) * 2 > std::size_t{index_mask_} + 1) {
    entries_.push_back(DictionaryEntry{Bytes(key), std::move(value)});
    grow_index();
    return;
  }
  entries_.push_back(DictionaryEntry{Bytes(key), std::move(value)});
  insert_into_index(entries_.size() - 1);
}

const Object* Dictionary::get(std::string_view key) const {
  if (!index_) return nullptr;
  const std::uint32_t held = index_[find_slot(key)];
  return held == 0 ? nullptr : &entries_[held - 1].value;
}

Object* Dictionary::get(std::string_view key) {
  return const_cast<Object*>(std::as_const(*this).get(key));
}

std::optional<Object> Dictionary::remove(std::string_view key) {
  if (!index_) return std::nullopt;
  std::size_t hole = find_slot(key);
  if (index_[hole] == 0) return std::nullopt;
  const std::size_t position = index_[hole] - 1;

  // Backward-shift deletion keeps every remaining key reachable from its home slot.
  index_[hole] = 0;
  for (std::size_t next = (hole + 1) & index_mask_; index_[next] != 0;
       next = (next + 1) & index_mask_) {
    const std::size_t home = hash_key(entries_[index_[next] - 1].key, seed_) & index_mask_;
    const bool home_is_after_hole =
        hole <= next ? (home > hole && home <= next) : (home > hole || home <= next);
    if (!home_is_after_hole) {
      index_[hole] = index_[next];
      index_[next] = 0;
      hole = next;
    }
  }

  Object removed = std::move(entries_[position].value);
  const std::size_t last = entries_.size() - 1;
  if (position != last) {
    index_[find_slot(entries_[last].key)] = static_cast<std::uint32_t>(position + 1);
    entries_[position] = std::move(entries_[last]);
  }
  entries_.pop_back();
  return removed;
}

std::span<const DictionaryEntry> Dictionary::iter() const { return entries_; }

Dictionary Dictionary::copy_keys(Object (*shell)(const Object&)) const {
  Dictionary copy;
  copy.entries_.reserve(entries_.size());
  for (const DictionaryEntry& entry : entries_) {
    copy.entries_.push_back(DictionaryEntry{entry.key, shell(entry.value)});
  }
  if (index_) {
    copy.seed_ = next_dictionary_seed();
    copy.index_ = std::make_unique<std::uint32_t[]>(std::size_t{index_mask_} + 1);
    copy.index_mask_ = index_mask_;
    for (std::size_t position = 0; position < copy.entries_.size(); ++position) {
      copy.insert_into_index(position);
    }
  }
  return copy;
}

}  // namespace vantril
