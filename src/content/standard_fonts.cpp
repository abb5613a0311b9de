// The standard fonts' dictionaries, the encoding of UTF-8 text into their codes, and widths.
#include <algorithm>
#include <array>
#include <span>
#include <string>

#include "content/standard_font_metrics.hpp"
#include "content/utf8.hpp"
#include "runtime/invalid_input.hpp"
#include "vantril/fonts.hpp"

namespace vantril {

namespace {

constexpr std::array<std::string_view, standard_font_count> base_font_names = {
    "Courier",     "Courier-Bold",   "Courier-Oblique",   "Courier-BoldOblique",
    "Helvetica",   "Helvetica-Bold", "Helvetica-Oblique", "Helvetica-BoldOblique",
    "Times-Roman", "Times-Bold",     "Times-Italic",      "Times-BoldItalic",
    "Symbol",      "ZapfDingbats",
};

std::size_t index_of(StandardFont font) { return static_cast<std::size_t>(font); }

bool uses_win_ansi(StandardFont font) {
  return font != StandardFont::Symbol && font != StandardFont::ZapfDingbats;
}

std::span<const UnicodeCode> codes_of(StandardFont font) {
  if (font == StandardFont::Symbol) return symbol_codes;
  if (font == StandardFont::ZapfDingbats) return zapf_dingbats_codes;
  return win_ansi_codes;
}

std::string_view encoding_label(StandardFont font) {
  if (font == StandardFont::Symbol) return "Symbol's built-in encoding";
  if (font == StandardFont::ZapfDingbats) return "ZapfDingbats' built-in encoding";
  return "WinAnsiEncoding";
}

// The code of the character, or -1.
int code_of(std::span<const UnicodeCode> codes, char32_t c) {
  const auto found = std::lower_bound(
      codes.begin(), codes.end(), c,
      [](const UnicodeCode& entry, char32_t wanted) { return entry.unicode < wanted; });
  return found != codes.end() && found->unicode == c ? found->code : -1;
}

}  // namespace

std::string_view base_font_name(StandardFont font) { return base_font_names[index_of(font)]; }

Dictionary font_dictionary(StandardFont font) {
  Dictionary dictionary = Dictionary::from_pairs({
      {"Type", Name("Font")},
      {"Subtype", Name("Type1")},
      {"BaseFont", Name(base_font_name(font))},
  });
  if (uses_win_ansi(font)) dictionary.set("Encoding", Name("WinAnsiEncoding"));
  return dictionary;
}

Result<std::string> encode_text(StandardFont font, std::string_view utf8, Unencodable unencodable) {
  if (unencodable.replacement &&
      glyph_width(font, static_cast<unsigned char>(*unencodable.replacement)) == 0) {
    return invalid_input("the replacement byte " +
                         std::to_string(static_cast<unsigned char>(*unencodable.replacement)) +
                         " shows no glyph in " + std::string(base_font_name(font)));
  }
  const std::span<const UnicodeCode> codes = codes_of(font);
  const bool win_ansi = uses_win_ansi(font);
  std::string encoded;
  encoded.reserve(utf8.size());
  std::size_t index = 0;
  for (std::size_t position = 0; position < utf8.size(); ++index) {
    Utf8Char c;
    if (!decode_utf8(utf8, position, c)) {
      return invalid_input("the text is not valid UTF-8: a malformed sequence starts at byte " +
                           std::to_string(position));
    }
    position += c.length;
    // Printable ASCII and Latin-1 keep their values in WinAnsiEncoding; only the rest is looked up.
    const char32_t cp = c.code_point;
    const bool latin = win_ansi && ((cp >= 0x20 && cp <= 0x7E) || (cp >= 0xA0 && cp <= 0xFF));
    const int code = latin ? static_cast<int>(cp) : code_of(codes, cp);
    if (code >= 0) {
      encoded.push_back(static_cast<char>(code));
    } else if (unencodable.replacement) {
      encoded.push_back(*unencodable.replacement);
    } else {
      const bool printable = c.code_point >= 0x20 && c.code_point != 0x7F;
      return invalid_input(
          std::string(base_font_name(font)) + " cannot show " + code_point_label(c.code_point) +
          (printable ? " \"" + utf8_of(c.code_point) + "\"" : std::string()) + " at byte " +
          std::to_string(c.position) + " (character " + std::to_string(index) +
          ") of the text: it has no code in " + std::string(encoding_label(font)));
    }
  }
  return encoded;
}

std::uint16_t glyph_width(StandardFont font, unsigned char code) {
  return standard_font_widths[index_of(font)][code];
}

std::uint64_t text_width_units(StandardFont font, std::string_view codes) {
  const FontWidths& widths = standard_font_widths[index_of(font)];
  std::uint64_t total = 0;
  for (const char c : codes) total += widths[static_cast<unsigned char>(c)];
  return total;
}

double text_width(StandardFont font, std::string_view codes, double font_size) {
  return static_cast<double>(text_width_units(font, codes)) * font_size / 1000.0;
}

}  // namespace vantril
