// The 14 standard fonts every PDF reader has: their font dictionaries, text in their encodings,
// and the widths of their glyphs for measuring and aligning text.
//
//   StandardFont      Courier, Helvetica and Times in four styles each, Symbol, ZapfDingbats.
//   font_dictionary   the Type1 font dictionary; the twelve text fonts use WinAnsiEncoding,
//                     Symbol and ZapfDingbats their own built-in encodings.
//   encode_text       UTF-8 in, the font's one-byte codes out, ready for a content stream's
//                     show_text. A character the encoding lacks is an error, unless the caller
//                     chose a replacement (Unencodable::replace_with).
//   glyph_width, text_width   advance widths from Adobe's published metrics (Core 14 AFM files).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "vantril/detail/export.hpp"
#include "vantril/error.hpp"
#include "vantril/model/object.hpp"

namespace vantril {

enum class StandardFont : std::uint8_t {
  Courier,
  CourierBold,
  CourierOblique,
  CourierBoldOblique,
  Helvetica,
  HelveticaBold,
  HelveticaOblique,
  HelveticaBoldOblique,
  TimesRoman,
  TimesBold,
  TimesItalic,
  TimesBoldItalic,
  Symbol,
  ZapfDingbats,
};

// The PostScript name a font dictionary's BaseFont carries, e.g. "Helvetica-BoldOblique".
VANTRIL_API std::string_view base_font_name(StandardFont font);

// <</Type/Font/Subtype/Type1/BaseFont/...>> with /Encoding/WinAnsiEncoding for the twelve text
// fonts; Symbol and ZapfDingbats name no encoding and so use their own. The caller owns it; store
// it with append_object and name it in a page's /Resources /Font.
VANTRIL_API Dictionary font_dictionary(StandardFont font);

// What encode_text does with a character the font's encoding has no code for: fail (the
// default), or write the given byte in its place. The replacement byte must itself show a glyph
// in the font.
struct Unencodable {
  std::optional<char> replacement;

  static Unencodable fail() { return {}; }
  static Unencodable replace_with(char byte) { return {byte}; }
};

// The codes of UTF-8 text in the font's encoding: WinAnsiEncoding (Windows code page 1252: ASCII,
// Latin-1, the euro sign, dashes, quotes, "Œ", "Š", "Ž", ...) for the text fonts, the built-in
// encodings for Symbol (Greek letters, mathematical signs) and ZapfDingbats (the dingbats of
// U+2700..U+27BF and a few more). Each character becomes one byte. A no-break space and a soft
// hyphen are kept as such (codes 0xA0 and 0xAD); control characters, tab and line feed included,
// show no glyph and count as unencodable.
// Errors, all InvalidInput (Custom) with a message:
//   - a character the encoding lacks, unless `unencodable` names a replacement: the message
//     names the font, the character and where it is (0-based byte offset and character index); for
//     "Pan Łukasz" in Helvetica:
//     Helvetica cannot show U+0141 "Ł" at byte 4 (character 4) of the text: it has no code in
//     WinAnsiEncoding
//   - malformed UTF-8 (whatever the policy), with the byte offset of the first bad byte;
//   - a replacement byte that shows no glyph in the font.
VANTRIL_API Result<std::string> encode_text(StandardFont font, std::string_view utf8,
                                            Unencodable unencodable = Unencodable::fail());

// The advance width of one code in thousandths of the font size (Helvetica's "A" is 667); 0 for
// a code that shows no glyph.
VANTRIL_API std::uint16_t glyph_width(StandardFont font, unsigned char code);

// The widths of the codes added up, in thousandths of the font size: exact, for comparisons.
VANTRIL_API std::uint64_t text_width_units(StandardFont font, std::string_view codes);

// The width of encoded text at a font size, in text-space units (points with an identity text
// matrix), without character or word spacing and at 100% horizontal scaling:
// text_width_units(font, codes) * font_size / 1000.
VANTRIL_API double text_width(StandardFont font, std::string_view codes, double font_size);

}  // namespace vantril
