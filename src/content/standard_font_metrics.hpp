// The generated tables of the 14 standard fonts (standard_font_metrics.cpp, made by
// tools/generate-font-metrics): glyph widths by code, and the codes of Unicode characters in
// WinAnsiEncoding and in Symbol's and ZapfDingbats' built-in encodings.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace vantril {

inline constexpr std::size_t standard_font_count = 14;

// Advance widths in thousandths of the font size, by code in the font's encoding (WinAnsiEncoding
// for the twelve text fonts, the built-in one for Symbol and ZapfDingbats); 0 for a code that
// shows no glyph.
using FontWidths = std::array<std::uint16_t, 256>;

// One character and its code; the tables are sorted by character.
struct UnicodeCode {
  char32_t unicode;
  std::uint8_t code;
};

extern const std::array<FontWidths, standard_font_count> standard_font_widths;
extern const std::array<UnicodeCode, 218> win_ansi_codes;
extern const std::array<UnicodeCode, 192> symbol_codes;
extern const std::array<UnicodeCode, 202> zapf_dingbats_codes;

}  // namespace vantril
