// Byte strings of the model: names, keys, string contents and stream data are bytes, not text.
// Sixteen bytes in all, so that an Object stays small: up to 15 bytes (every common name and key)
// live inside the value; longer contents live in one heap block.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "vantril/detail/export.hpp"

namespace vantril {

// Any byte values, NUL included. Reads as a std::string_view; compares with text and std::string.
class VANTRIL_API Bytes {
 public:
  static constexpr std::size_t inline_capacity = 15;

  Bytes() noexcept { set_inline_size(0); }
  explicit Bytes(std::string_view bytes) {
    // Keys and names are short: they are copied in place without the growth logic of append.
    if (bytes.size() <= inline_capacity) {
      if (!bytes.empty()) std::memcpy(raw_, bytes.data(), bytes.size());
      set_inline_size(bytes.size());
    } else {
      set_inline_size(0);
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
  Bytes(const Bytes& other) : Bytes() { append(other); }
  Bytes(Bytes&& other) noexcept {
    std::memcpy(raw_, other.raw_, sizeof raw_);
    other.set_inline_size(0);
  }
  Bytes& operator=(const Bytes& other);
  Bytes& operator=(Bytes&& other) noexcept {
    if (this != &other) {
      release();
      std::memcpy(raw_, other.raw_, sizeof raw_);
      other.set_inline_size(0);
    }
    return *this;
  }
  ~Bytes() { release(); }

  const char* data() const { return on_heap() ? heap_data() : reinterpret_cast<const char*>(raw_); }
  char* data() { return on_heap() ? heap_data() : reinterpret_cast<char*>(raw_); }
  std::size_t size() const { return on_heap() ? heap_size() : raw_[15]; }
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
  // Inline: the bytes, then the size in the last byte. Heap: the block's address, then the size
  // with its top bit set (the last byte's top bit, on the little-endian machines this targets);
  // the block starts with its capacity.
  static_assert(std::endian::native == std::endian::little);
  static constexpr std::uint64_t heap_flag = std::uint64_t{1} << 63;

  bool on_heap() const { return (raw_[15] & 0x80u) != 0; }
  char* heap_block() const {
    char* block;
    std::memcpy(&block, raw_, sizeof block);
    return block;
  }
  char* heap_data() const { return heap_block() + sizeof(std::size_t); }
  std::size_t heap_size() const {
    std::uint64_t tagged;
    std::memcpy(&tagged, raw_ + 8, sizeof tagged);
    return static_cast<std::size_t>(tagged & ~heap_flag);
  }
  void set_inline_size(std::size_t size) { raw_[15] = static_cast<unsigned char>(size); }
  void set_heap(char* block, std::size_t size) {
    std::memcpy(raw_, &block, sizeof block);
    const std::uint64_t tagged = std::uint64_t{size} | heap_flag;
    std::memcpy(raw_ + 8, &tagged, sizeof tagged);
  }
  void set_size(std::size_t size) {
    if (on_heap()) {
      set_heap(heap_block(), size);
    } else {
      set_inline_size(size);
    }
  }
  void release();

  alignas(8) unsigned char raw_[16];
};

static_assert(sizeof(Bytes) == 16);

}  // namespace vantril
