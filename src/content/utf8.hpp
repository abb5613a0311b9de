// Reading UTF-8 one character at a time, for the encoders of text strings and font text.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vantril {

// One decoded character: its code point, and its first byte and byte count in the text.
struct Utf8Char {
  char32_t code_point;
  std::size_t position;
  std::size_t length;
};

// Decodes the character starting at `position`. False, with nothing decoded, when the bytes
// there are not a well-formed UTF-8 sequence (RFC 3629: no overlong forms, no surrogates, nothing
// past U+10FFFF).
bool decode_utf8(std::string_view text, std::size_t position, Utf8Char& decoded);

// "U+0141", at least four upper-case hex digits.
std::string code_point_label(char32_t code_point);

// The character as UTF-8, for error messages.
std::string utf8_of(char32_t code_point);

}  // namespace vantril
