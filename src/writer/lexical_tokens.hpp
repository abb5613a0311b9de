// Names and strings in the serializer's own forms, for writers of other PDF syntax (content
// streams) that must escape them by the same rules.
#pragma once

#include <string_view>

#include "vantril/error.hpp"
#include "vantril/writer/counting_sink.hpp"

namespace vantril {

// "/" and the bytes, "#XX" for each byte a name cannot carry bare.
Status write_name_token(CountingSink& sink, std::string_view bytes);
// "(" the bytes ")", with a backslash before unbalanced parentheses, backslashes and carriage
// returns (written "\r").
Status write_literal_string_token(CountingSink& sink, std::string_view bytes);
// "<" the bytes as pairs of upper-case hexadecimal digits ">".
Status write_hex_string_token(CountingSink& sink, std::string_view bytes);
// False when the literal string form is "(" the bytes ")" unchanged, with nothing escaped.
bool literal_string_needs_escapes(std::string_view bytes);

}  // namespace vantril
