// Well-formed UTF-8 (RFC 3629: no overlong forms, no surrogates, nothing past U+10FFFF), tested
// in one place for the whole code base: the type labels of the model, the text encoders of the
// content layer, the tool's JSON text and the Windows console output.
#pragma once

#include <cstddef>
#include <string_view>

namespace vantril {

// The byte count of the character a lead byte starts (1 to 4), or 0 for a byte that cannot
// start one: a continuation byte, or the lead byte of an overlong or too large form.
std::size_t utf8_sequence_length(unsigned char lead);

// Whether `byte` may stand at `index` (1 to 3) of a sequence that `lead` starts. The byte after
// the lead has a narrower range where 80..BF would allow overlong forms, surrogates or code
// points past U+10FFFF.
bool utf8_byte_continues(unsigned char lead, std::size_t index, unsigned char byte);

// The length of the well-formed character starting at `position`, or 0 when the bytes there are
// not one (a sequence cut short by the end of the text is not).
std::size_t utf8_character_length(std::string_view text, std::size_t position);

// True when the whole text is well-formed UTF-8.
bool is_valid_utf8(std::string_view text);

}  // namespace vantril
