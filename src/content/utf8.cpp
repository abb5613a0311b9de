// UTF-8 decoding (the well-formedness test is runtime/utf8's), and labels for characters in
// messages.
#include "content/utf8.hpp"

#include <cstdint>

#include "runtime/utf8.hpp"

namespace vantril {

bool decode_utf8(std::string_view text, std::size_t position, Utf8Char& decoded) {
  const std::size_t length = utf8_character_length(text, position);
  if (length == 0) return false;
  // The lead byte's payload bits, by the sequence's length.
  static constexpr unsigned char lead_bits[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
  char32_t value = static_cast<unsigned char>(text[position]) & lead_bits[length];
  for (std::size_t i = 1; i < length; ++i) {
    value = (value << 6) | (static_cast<unsigned char>(text[position + i]) & 0x3Fu);
  }
  decoded = Utf8Char{value, position, length};
  return true;
}

std::string code_point_label(char32_t code_point) {
  constexpr std::string_view hex = "0123456789ABCDEF";
  std::string digits;
  for (auto rest = static_cast<std::uint32_t>(code_point); rest != 0 || digits.size() < 4;
       rest >>= 4) {
    digits.insert(digits.begin(), hex[rest & 0xFu]);
  }
  return "U+" + digits;
}

std::string utf8_of(char32_t code_point) {
  const auto c = static_cast<std::uint32_t>(code_point);
  std::string out;
  const auto put = [&](std::uint32_t byte) { out.push_back(static_cast<char>(byte)); };
  if (c < 0x80) {
    put(c);
  } else if (c < 0x800) {
    put(0xC0 | (c >> 6));
    put(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    put(0xE0 | (c >> 12));
    put(0x80 | ((c >> 6) & 0x3F));
    put(0x80 | (c & 0x3F));
  } else {
    put(0xF0 | (c >> 18));
    put(0x80 | ((c >> 12) & 0x3F));
    put(0x80 | ((c >> 6) & 0x3F));
    put(0x80 | (c & 0x3F));
  }
  return out;
}

}  // namespace vantril
