// Byte strings of the model: names, keys, string contents and stream data are bytes, not text.
// Sixteen bytes in all, so that an Object stays small: up to 14 bytes (nearly every name and key)
// live inside the value; longer contents live in one heap block. Four bits of the last byte are
// left to the holder: an Object keeps its kind there and a String its style, so that neither needs
// a byte of its own beside the bytes.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "vantril/detail/export.hpp"
#include "vantril/detail/short_load.hpp"

namespace vantril {

// Any byte values, NUL included. Reads as a std::string_view; compares with text and std::string.
class VANTRIL_API Bytes {
 public:
  static constexpr std::size_t inline_capacity = 14;

  Bytes() noexcept { raw_[15] = 0; }
  explicit Bytes(std::string_view bytes) {
    // Keys and names are short: they are copied in place without the growth logic of append.
    if (bytes.size() <= inline_capacity) {
      set_inline(bytes);
    } else {
      raw_[15] = 0;
      append(bytes);
    }
  }
  // A string literal converts with every byte before its final NUL, embedded NULs included:
  // "\xFE\xFF\x00J" is four bytes. A char array counts as a literal (all N - 1 bytes). There is
  // no conversion from a bare `const char*`: its length would have to be guessed from the first
  // NUL, which silently cuts binary data short; pass a std::string_view with the length instead.
  template <std::size_t N>
  Bytes(const char (&literal)[N]) : Bytes(std::string_view(literal, N - 1)) {}
  // Standard strings convert implicitly, as they did when bytes were a std::string.
  Bytes(const std::string& text) : Bytes(std::string_view(text)) {}
  Bytes(std::size_t count, char fill);
  // Construction takes the other's holder bits with its bytes; assignment keeps this one's, as
  // they describe the holder, not the bytes.
  Bytes(const Bytes& other) {
    if (!other.on_heap()) {
      std::memcpy(raw_, other.raw_, sizeof raw_);
      return;
    }
    raw_[15] = 0;
    append(other);
    set_holder_bits(other.holder_bits());
  }
  Bytes(Bytes&& other) noexcept {
    std::memcpy(raw_, other.raw_, sizeof raw_);
    other.set_inline_size(0);
  }
  Bytes& operator=(const Bytes& other);
  Bytes& operator=(Bytes&& other) noexcept {
    if (this != &other) {
      release();
      const unsigned char kept = holder_bits();
      std::memcpy(raw_, other.raw_, sizeof raw_);
      set_holder_bits(kept);
      other.set_inline_size(0);
    }
    return *this;
  }
  ~Bytes() {
    if (on_heap()) free_heap();
  }

  const char* data() const { return on_heap() ? heap_data() : reinterpret_cast<const char*>(raw_); }
  char* data() { return on_heap() ? heap_data() : reinterpret_cast<char*>(raw_); }
  std::size_t size() const { return on_heap() ? heap_size() : raw_[15] & size_mask; }
  bool empty() const { return size() == 0; }
  std::size_t capacity() const;

  operator std::string_view() const { return {data(), size()}; }
  operator std::string() const { return std::string(data(), size()); }

  const char* begin() const { return data(); }
  const char* end() const { return data() + size(); }
  char operator[](std::size_t position) const { return data()[position]; }
  char& operator[](std::size_t position) { return data()[position]; }

  void reserve(std::size_t count);
  void append(std::string_view bytes);
  void push_back(char byte) { append(std::string_view(&byte, 1)); }
  void clear();

  // Text built around bytes, as with a std::string.
  friend std::string operator+(std::string text, const Bytes& bytes) {
    text.append(bytes.data(), bytes.size());
    return text;
  }
  friend std::string operator+(const Bytes& bytes, std::string_view text) {
    std::string joined(bytes);
    joined.append(text);
    return joined;
  }

  friend bool operator==(const Bytes& a, const Bytes& b) {
    return std::string_view(a) == std::string_view(b);
  }
  friend bool operator==(const Bytes& a, std::string_view b) { return std::string_view(a) == b; }
  friend bool operator==(const Bytes& a, const std::string& b) {
    return std::string_view(a) == std::string_view(b);
  }
  // Against a literal: every byte before its final NUL, as the conversion above takes them.
  template <std::size_t N>
  friend bool operator==(const Bytes& a, const char (&b)[N]) {
    return std::string_view(a) == std::string_view(b, N - 1);
  }

 private:
  friend struct Object;
  friend struct String;
  friend class Dictionary;

  // Inline: the bytes, then the last byte, whose low four bits hold the size. Heap: the block's
  // address, then the size in seven bytes, then the last byte with heap_mark in its low bits;
  // the block starts with its capacity. The last byte's high four bits are the holder's.
  static_assert(std::endian::native == std::endian::little);
  static constexpr unsigned char size_mask = 0x0F;
  static constexpr unsigned char heap_mark = 0x0F;
  static constexpr unsigned char holder_mask = 0xF0;
  static constexpr std::uint64_t size_bits = (std::uint64_t{1} << 56) - 1;

  unsigned char holder_bits() const { return raw_[15] >> 4; }
  void set_holder_bits(unsigned char bits) {
    raw_[15] = static_cast<unsigned char>((raw_[15] & size_mask) | (bits << 4));
  }

  // Short bytes, copied in with the unused bytes zeroed, so that equal short keys have equal
  // words. A few loads from the two ends of the source (overlapping when it is short) cover all
  // of it, without a call to memcpy and without reading past it.
  void set_inline(std::string_view bytes) {
    const char* from = bytes.data();
    const std::size_t size = bytes.size();
    std::uint64_t low = 0;
    std::uint64_t high = 0;
    if (size >= 8) {
      std::memcpy(&low, from, 8);
      std::uint64_t last;
      std::memcpy(&last, from + size - 8, 8);
      if (size > 8) high = last >> (8 * (16 - size));
    } else {
      low = detail::load_short(from, size);
    }
    std::memcpy(raw_, &low, 8);
    std::memcpy(raw_ + 8, &high, 8);
    raw_[15] = static_cast<unsigned char>(size);
  }

  bool on_heap() const { return (raw_[15] & size_mask) == heap_mark; }
  char* heap_block() const {
    char* block;
    std::memcpy(&block, raw_, sizeof block);
    return block;
  }
  char* heap_data() const { return heap_block() + sizeof(std::size_t); }
  std::size_t heap_size() const {
    std::uint64_t tagged;
    std::memcpy(&tagged, raw_ + 8, sizeof tagged);
    return static_cast<std::size_t>(tagged & size_bits);
  }
  void set_inline_size(std::size_t size) {
    raw_[15] = static_cast<unsigned char>((raw_[15] & holder_mask) | size);
  }
  // Sizes reach at most 2^56 - 1 bytes: no allocation comes near it.
  void set_heap(char* block, std::size_t size) {
    std::memcpy(raw_, &block, sizeof block);
    const auto last = static_cast<unsigned char>((raw_[15] & holder_mask) | heap_mark);
    const std::uint64_t tagged = std::uint64_t{size} | std::uint64_t{last} << 56;
    std::memcpy(raw_ + 8, &tagged, sizeof tagged);
  }
  void set_size(std::size_t size) {
    if (on_heap()) {
      set_heap(heap_block(), size);
    } else {
      set_inline_size(size);
    }
  }
  // Frees the heap block and leaves the bytes inline and empty.
  void release() {
    if (on_heap()) {
      free_heap();
      set_inline_size(0);
    }
  }
  // Out of line: most byte strings are inline and never call it.
  void free_heap() noexcept;

  alignas(8) unsigned char raw_[16];
};

static_assert(sizeof(Bytes) == 16);

}  // namespace vantril
