// Not for users: the bytes of a short run read into one word without a call to memcpy, for the
// inline forms of Bytes and Key.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace vantril::detail {

// The `size` (at most 7) bytes at `from` as a little-endian word, the unused high bytes zero. A
// few loads from the two ends (overlapping when the run is short) cover all of it without
// reading past it.
inline std::uint64_t load_short(const char* from, std::size_t size) {
  static_assert(std::endian::native == std::endian::little);
  if (size >= 4) {
    std::uint32_t first;
    std::uint32_t last;
    std::memcpy(&first, from, 4);
    std::memcpy(&last, from + size - 4, 4);
    return first | std::uint64_t{last} << (8 * (size - 4));
  }
  if (size == 0) return 0;
  return std::uint64_t{static_cast<unsigned char>(from[0])} |
         std::uint64_t{static_cast<unsigned char>(from[size / 2])} << (8 * (size / 2)) |
         std::uint64_t{static_cast<unsigned char>(from[size - 1])} << (8 * (size - 1));
}

}  // namespace vantril::detail
