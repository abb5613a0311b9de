// Dictionary keys: the bytes of a name, in eight bytes. Nearly every key in a PDF file is at most
// seven bytes long ("Type", "Subtype", "Length", "Rect"); those live inside the key, so that a
// dictionary entry is a key and an Object in 24 bytes. Longer keys live in one small heap block.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>

#include "vantril/detail/export.hpp"
#include "vantril/detail/short_load.hpp"

namespace vantril {

// Any byte values, NUL included. Reads as a std::string_view; compares with text and strings.
class VANTRIL_API Key {
 public:
  static constexpr std::size_t inline_capacity = 7;

  Key() noexcept = default;
  explicit Key(std::string_view bytes) {
    if (bytes.size() <= inline_capacity) {
      set_inline(bytes);
    } else {
      make_heap(bytes);
    }
  }
  // A string literal converts with every byte before its final NUL, as Bytes takes it.
  template <std::size_t N>
  Key(const char (&literal)[N]) : Key(std::string_view(literal, N - 1)) {}
  Key(const std::string& text) : Key(std::string_view(text)) {}
  Key(const Key& other) {
    if (other.is_inline()) {
      word_ = other.word_;
    } else {
      make_heap(other);
    }
  }
  Key(Key&& other) noexcept : word_(std::exchange(other.word_, empty_word)) {}
  Key& operator=(const Key& other) {
    if (this != &other) *this = Key(other);
    return *this;
  }
  Key& operator=(Key&& other) noexcept {
    if (this != &other) {
      if (!is_inline()) free_heap();
      word_ = std::exchange(other.word_, empty_word);
    }
    return *this;
  }
  ~Key() {
    if (!is_inline()) free_heap();
  }

  const char* data() const {
    return is_inline() ? reinterpret_cast<const char*>(&word_) + 1 : heap_block() + header_size;
  }
  std::size_t size() const {
    if (is_inline()) return static_cast<std::size_t>((word_ & 0xFF) >> 1);
    std::uint64_t size;
    std::memcpy(&size, heap_block(), sizeof size);
    return static_cast<std::size_t>(size);
  }
  bool empty() const { return size() == 0; }

  operator std::string_view() const { return {data(), size()}; }
  operator std::string() const { return std::string(data(), size()); }

  const char* begin() const { return data(); }
  const char* end() const { return data() + size(); }
  char operator[](std::size_t position) const { return data()[position]; }

  friend std::string operator+(std::string text, const Key& key) {
    text.append(key.data(), key.size());
    return text;
  }
  friend std::string operator+(const Key& key, std::string_view text) {
    std::string joined(key);
    joined.append(text);
    return joined;
  }

  friend bool operator==(const Key& a, const Key& b) {
    if (a.word_ == b.word_) return true;
    // Two inline keys are equal exactly when their words are; a heap key is longer than any
    // inline one.
    if (a.is_inline() || b.is_inline()) return false;
    return std::string_view(a) == std::string_view(b);
  }
  friend bool operator==(const Key& a, std::string_view b) { return std::string_view(a) == b; }
  friend bool operator==(const Key& a, const std::string& b) {
    return std::string_view(a) == std::string_view(b);
  }
  template <std::size_t N>
  friend bool operator==(const Key& a, const char (&b)[N]) {
    return std::string_view(a) == std::string_view(b, N - 1);
  }

 private:
  friend class Dictionary;

  // Inline: the low byte holds the size shifted left by one with the low bit set, and the bytes
  // follow it, the unused ones zero, so that equal inline keys have equal words. Heap: the
  // address of a block (aligned, so its low bit is clear) that starts with the size.
  static_assert(std::endian::native == std::endian::little);
  static constexpr std::uint64_t empty_word = 1;
  static constexpr std::size_t header_size = sizeof(std::uint64_t);

  bool is_inline() const { return (word_ & 1) != 0; }
  // NOLINTNEXTLINE(performance-no-int-to-ptr): the word holds the block's address
  const char* heap_block() const { return reinterpret_cast<const char*>(word_); }

  // The word a key of at most seven bytes has.
  static std::uint64_t inline_word(std::string_view bytes) {
    return detail::load_short(bytes.data(), bytes.size()) << 8 | std::uint64_t{bytes.size()} << 1 |
           1;
  }
  void set_inline(std::string_view bytes) { word_ = inline_word(bytes); }
  // Out of line: most keys are inline and never call them.
  void make_heap(std::string_view bytes);
  void free_heap() noexcept;

  std::uint64_t word_ = empty_word;
};

static_assert(sizeof(Key) == 8);

}  // namespace vantril
