// The standard fonts: text in their encodings, the refusal or replacement of characters they
// lack, their widths against the published metrics, and their font dictionaries.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "content/standard_font_metrics.hpp"
#include "vantril/fonts.hpp"
#include "vantril/writer/counting_sink.hpp"
#include "vantril/writer/serializer.hpp"

namespace vantril {
namespace {

TEST(StandardFonts, EncodesUtf8InEachFontsEncoding) {
  const struct {
    StandardFont font;
    std::string_view utf8;
    std::string_view codes;
  } cases[] = {
      {StandardFont::Helvetica, "M\xC3\xBCller (GmbH) \\ 50% \xE2\x82\xAC",
       "M\xFCller (GmbH) \\ 50% \x80"},
      {StandardFont::TimesItalic, "\xE2\x80\x9C\xC5\x92\xE2\x80\x9D \xE2\x80\xA6 \xC5\xBD",
       "\x93\x8C\x94 \x85 \x8E"},
      // The no-break space and the soft hyphen keep their own codes.
      {StandardFont::Courier,
       "a\xC2\xA0"
       "b\xC2\xAD",
       "a\xA0"
       "b\xAD"},
      // Symbol: Greek letters, and Delta for both the letter and the increment sign.
      {StandardFont::Symbol, "\xCE\xB1\xCE\xB2 \xCE\x94\xE2\x88\x86 \xE2\x88\x91", "ab DD \xE5"},
      // ZapfDingbats: the check mark and the black star.
      {StandardFont::ZapfDingbats, "\xE2\x9C\x93\xE2\x98\x85", "\x33\x48"},
      {StandardFont::HelveticaBold, "", ""},
  };
  for (const auto& c : cases) {
    const Result<std::string> codes = encode_text(c.font, c.utf8);
    ASSERT_TRUE(codes.ok()) << display_form(codes.error());
    EXPECT_EQ(codes.value(), c.codes) << base_font_name(c.font);
  }
}

TEST(StandardFonts, NamesTheCharacterItCannotShowOrReplacesItWhenAsked) {
  const struct {
    StandardFont font;
    std::string_view utf8;
    std::string_view message;
  } refused[] = {
      {StandardFont::Helvetica, "Pan \xC5\x81ukasz",
       "Helvetica cannot show U+0141 \"\xC5\x81\" at byte 4 (character 4) of the text: it has no "
       "code in WinAnsiEncoding"},
      {StandardFont::TimesRoman, "\xC3\xA9t\xC3\xA9 \xE2\x89\xA5 1",
       "Times-Roman cannot show U+2265 \"\xE2\x89\xA5\" at byte 6 (character 4)"},
      {StandardFont::Courier, "line\nbreak", "Courier cannot show U+000A at byte 4 (character 4)"},
      {StandardFont::Symbol, "\xC3\xA9",
       "Symbol cannot show U+00E9 \"\xC3\xA9\" at byte 0 "
       "(character 0) of the text: it has no code in Symbol's"},
      {StandardFont::ZapfDingbats, "a", "ZapfDingbats cannot show U+0061 \"a\""},
      {StandardFont::Helvetica, "\xF0\x9F\x98\x80", "U+1F600"},
      {StandardFont::Helvetica, "ok\xE2\x82",
       "not valid UTF-8: a malformed sequence starts at byte 2"},
  };
  for (const auto& c : refused) {
    const Result<std::string> codes = encode_text(c.font, c.utf8);
    ASSERT_FALSE(codes.ok()) << c.message;
    EXPECT_EQ(kind_of(codes.error()), IoErrorKind::InvalidInput);
    const std::string message = display_form(codes.error());
    EXPECT_NE(message.find(c.message), std::string::npos) << message;
  }
  const Result<std::string> replaced = encode_text(StandardFont::Helvetica,
                                                   "\xC5\x81\xC3\xB3"
                                                   "d\xC5\xBA",
                                                   Unencodable::replace_with('?'));
  ASSERT_TRUE(replaced.ok());
  EXPECT_EQ(replaced.value(),
            "?\xF3"
            "d?");
  // Malformed UTF-8 is never replaced, and the replacement must itself show a glyph.
  EXPECT_FALSE(encode_text(StandardFont::Helvetica, "\xC3", Unencodable::replace_with('?')).ok());
  EXPECT_FALSE(
      encode_text(StandardFont::Helvetica, "\xC5\x81", Unencodable::replace_with('\n')).ok());
}

TEST(StandardFonts, WidthsAreThePublishedMetrics) {
  // A few values read from the AFM files by hand.
  const struct {
    StandardFont font;
    unsigned char code;
    std::uint16_t width;
  } known[] = {
      {StandardFont::Helvetica, 'A', 667},  {StandardFont::Helvetica, ' ', 278},
      {StandardFont::Helvetica, 0x80, 556}, {StandardFont::HelveticaBold, 'W', 944},
      {StandardFont::TimesRoman, 'm', 778}, {StandardFont::TimesBoldItalic, 0xE6, 722},
      {StandardFont::Symbol, 'a', 631},     {StandardFont::ZapfDingbats, 0x33, 755},
      {StandardFont::Helvetica, 0xA0, 278}, {StandardFont::Helvetica, 0xAD, 333},
      {StandardFont::Helvetica, 0x81, 0},   {StandardFont::TimesRoman, '\n', 0},
  };
  for (const auto& k : known) {
    EXPECT_EQ(glyph_width(k.font, k.code), k.width) << base_font_name(k.font) << " " << int{k.code};
  }
  // Every character a text font encodes shows a glyph of some width; Courier's are all 600.
  for (int index = 0; index < 12; ++index) {
    const auto font = static_cast<StandardFont>(index);
    for (const UnicodeCode& entry : win_ansi_codes) {
      const std::uint16_t width = glyph_width(font, entry.code);
      EXPECT_GT(width, 0) << base_font_name(font) << " " << int{entry.code};
      if (index < 4) {
        EXPECT_EQ(width, 600);
      }
    }
  }
  EXPECT_EQ(text_width_units(StandardFont::Helvetica, "Hello"), 722u + 556 + 222 + 222 + 556);
  EXPECT_DOUBLE_EQ(text_width(StandardFont::Helvetica, "Hello", 10), 22.78);
}

TEST(StandardFonts, FontDictionariesNameTheFontAndItsEncoding) {
  const struct {
    StandardFont font;
    std::string_view written;
  } cases[] = {
      {StandardFont::HelveticaBoldOblique,
       "<</Type/Font/Subtype/Type1/BaseFont/Helvetica-BoldOblique/Encoding/WinAnsiEncoding>>"},
      {StandardFont::TimesRoman,
       "<</Type/Font/Subtype/Type1/BaseFont/Times-Roman/Encoding/WinAnsiEncoding>>"},
      {StandardFont::Symbol, "<</Type/Font/Subtype/Type1/BaseFont/Symbol>>"},
      {StandardFont::ZapfDingbats, "<</Type/Font/Subtype/Type1/BaseFont/ZapfDingbats>>"},
  };
  for (const auto& c : cases) {
    std::string written;
    CountingSink sink(written);
    ASSERT_TRUE(serialize_dictionary(sink, font_dictionary(c.font)).ok());
    EXPECT_EQ(written, c.written);
  }
}

}  // namespace
}  // namespace vantril
