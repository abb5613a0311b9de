// UTF-8 decoding with every malformed sequence refused, and labels for characters in messages.
#include "content/utf8.hpp"

#include <cstdint>

namespace vantril {

bool decode_utf8(std::string_view text, std::size_t position, Utf8Char& decoded) {
  const auto byte_at = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte_at(position);
  std::size_t length = 0;
  char32_t value = 0;
  char32_t minimum = 0;
  if (lead < 0x80) {
    decoded = Utf8Char{lead, position, 1};
    return true;
  }
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    value = lead & 0x1Fu;
    minimum = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    value = lead & 0x0Fu;
    minimum = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    value = lead & 0x07u;
    minimum = 0x10000;
  } else {
    return false;  // a continuation byte, or a lead byte of an overlong or too large form
  }
  if (text.size() - position < length) return false;
  for (std::size_t i = 1; i < length; ++i) {
    const unsigned char next = byte_at(position + i);
    if ((next & 0xC0u) != 0x80u) return false;
    value = (value << 6) | (next & 0x3Fu);
  }
  if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return false;
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
