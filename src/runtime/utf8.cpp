// The UTF-8 well-formedness test, by the byte ranges of each position in a sequence.
#include "runtime/utf8.hpp"

namespace vantril {

std::size_t utf8_sequence_length(unsigned char lead) {
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 0;
}

bool utf8_byte_continues(unsigned char lead, std::size_t index, unsigned char byte) {
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (index == 1) {
    if (lead == 0xE0) low = 0xA0;   // overlong below U+0800
    if (lead == 0xED) high = 0x9F;  // the surrogates
    if (lead == 0xF0) low = 0x90;   // overlong below U+10000
    if (lead == 0xF4) high = 0x8F;  // past U+10FFFF
  }
  return byte >= low && byte <= high;
}

std::size_t utf8_character_length(std::string_view text, std::size_t position) {
  const auto byte_at = [&text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte_at(position);
  const std::size_t length = utf8_sequence_length(lead);
  if (length == 0 || text.size() - position < length) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if (!utf8_byte_continues(lead, i, byte_at(position + i))) return 0;
  }
  return length;
}

bool is_valid_utf8(std::string_view text) {
  for (std::size_t position = 0; position < text.size();) {
    const std::size_t length = utf8_character_length(text, position);
    if (length == 0) return false;
    position += length;
  }
  return true;
}

}  // namespace vantril
