// Text outside content streams: PDF text strings (for the Info dictionary, annotations, form
// fields, signature entries) made from UTF-8, and PDF date strings made from a time point.
//
//   text_string   UTF-8 in; PDFDocEncoding bytes when every character has a code there, else
//                 UTF-16BE after the byte-order mark FE FF. Any reader decodes both.
//   pdf_date      "D:YYYYMMDDHHmmSS" and the UTC offset: "Z", or "+HH'mm'" / "-HH'mm'".
// Both return String values ready to put into a Dictionary; the serializer escapes their bytes.
#pragma once

#include <chrono>
#include <string_view>

#include "vantril/detail/export.hpp"
#include "vantril/error.hpp"
#include "vantril/model/object.hpp"

namespace vantril {

// A text string from UTF-8. PDFDocEncoding is chosen when every character has a code in it (all
// of printable ASCII, tab, line feed, carriage return, Latin-1 from U+00A1 except the soft
// hyphen, and a few typographic characters such as "€", "–", "“", "•", "ﬁ"); otherwise the whole
// string is written in UTF-16BE with its byte-order mark, characters beyond U+FFFF as surrogate
// pairs. The empty text gives an empty string.
// Errors: InvalidInput (a Custom error) when the bytes are not well-formed UTF-8 (a stray or
// missing continuation byte, an overlong form, a surrogate, a value past U+10FFFF); the message
// gives the byte offset of the first bad byte.
VANTRIL_API Result<String> text_string(std::string_view utf8);

// A date string: the local time that `time` shows at `utc_offset` from UTC, in the form
// D:YYYYMMDDHHmmSS followed by "Z" for a zero offset, else "+HH'mm'" or "-HH'mm'". The time is
// taken to the whole second, earlier (floor) for times before 1970. For example 2026-12-07
// 17:58:12 UTC at +01:00 gives "D:20261207185812+01'00'".
// Errors: InvalidInput (a Custom error) when the offset is not within -23:59..+23:59, or the
// local year falls outside 0000..9999, which the four-digit year cannot show.
VANTRIL_API Result<String> pdf_date(std::chrono::sys_seconds time, std::chrono::minutes utc_offset);

}  // namespace vantril
