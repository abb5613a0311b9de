// Text strings and dates: the choice between PDFDocEncoding and UTF-16BE, refused UTF-8, and the
// date form with its offsets and range.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <string_view>

#include "vantril/text.hpp"

namespace vantril {
namespace {

using namespace std::chrono;

std::string bytes_of(const Result<String>& result) {
  EXPECT_TRUE(result.ok());
  if (!result.ok()) return {};
  return std::string(result.value().bytes);
}

TEST(TextString, ChoosesTheEncodingByWhetherEveryCharacterFits) {
  const struct {
    std::string_view utf8;
    std::string_view bytes;
  } cases[] = {
      {"", ""},
      {"Invoice 42", "Invoice 42"},
      {"tab\tline\ncr\r", "tab\tline\ncr\r"},
      // Latin-1 keeps its codes; the euro sign, dashes, quotes and the Polish L have their own.
      {"M\xC3\xBCller \xE2\x82\xAC", "M\xFCller \xA0"},
      {"\xE2\x80\x93\xE2\x80\x9Cq\xE2\x80\x9D \xC5\x81", "\x85\x8Dq\x8E \x95"},
      {"\xEF\xAC\x81"
       "x \xE2\x80\xA2",
       "\x93x \x80"},
      // One character without a code (z with acute) sends the whole text to UTF-16BE.
      {"\xC5\x81\xC3\xB3"
       "d\xC5\xBA",
       std::string_view("\xFE\xFF\x01\x41\x00\xF3\x00\x64\x01\x7A", 10)},
      // The no-break space and the soft hyphen have no PDFDocEncoding code either.
      {"a\xC2\xA0", std::string_view("\xFE\xFF\x00\x61\x00\xA0", 6)},
      {"\xC2\xAD", std::string_view("\xFE\xFF\x00\xAD", 4)},
      // Control characters other than tab, line feed and carriage return have no code.
      {std::string_view("\x00", 1), std::string_view("\xFE\xFF\x00\x00", 4)},
      // Past U+FFFF: a surrogate pair.
      {"\xF0\x9F\x98\x80", std::string_view("\xFE\xFF\xD8\x3D\xDE\x00", 6)},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(bytes_of(text_string(c.utf8)), c.bytes) << c.utf8;
  }
}

TEST(TextString, RefusesMalformedUtf8AtItsFirstBadByte) {
  const struct {
    std::string_view utf8;
    std::string_view where;
  } cases[] = {
      {"ab\x80", "byte 2"},            // a stray continuation byte
      {"\xC3", "byte 0"},              // cut short
      {"x\xC3(", "byte 1"},            // a lead byte without its continuation
      {"\xC0\xAF", "byte 0"},          // overlong "/"
      {"\xE0\x80\xAF", "byte 0"},      // overlong, three bytes
      {"ok\xED\xA0\x80", "byte 2"},    // a surrogate
      {"\xF4\x90\x80\x80", "byte 0"},  // past U+10FFFF
      {"\xFF", "byte 0"},
  };
  for (const auto& c : cases) {
    const Result<String> result = text_string(c.utf8);
    ASSERT_FALSE(result.ok()) << c.where;
    EXPECT_EQ(kind_of(result.error()), IoErrorKind::InvalidInput);
    const std::string message = display_form(result.error());
    EXPECT_NE(message.find("not valid UTF-8"), std::string::npos) << message;
    EXPECT_NE(message.find(std::string(c.where)), std::string::npos) << message;
  }
}

TEST(PdfDate, WritesLocalTimeWithItsOffset) {
  const sys_seconds evening = sys_days{2026y / December / 7} + 17h + 58min + 12s;
  const struct {
    sys_seconds time;
    minutes offset;
    std::string_view text;
  } cases[] = {
      {sys_seconds{}, 0min, "D:19700101000000Z"},
      {evening, 0min, "D:20261207175812Z"},
      {evening, 60min, "D:20261207185812+01'00'"},
      {evening, -330min, "D:20261207122812-05'30'"},
      {evening, 23h + 59min, "D:20261208175712+23'59'"},
      // Across the end of a year, and before 1970, where the second is taken downwards.
      {sys_days{2027y / January / 1} + 30min, -60min, "D:20261231233000-01'00'"},
      {sys_seconds{-1s}, 0min, "D:19691231235959Z"},
      {sys_days{0y / January / 1} + 0s, 0min, "D:00000101000000Z"},
      {sys_days{9999y / December / 31} + 23h + 59min + 59s, 0min, "D:99991231235959Z"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(bytes_of(pdf_date(c.time, c.offset)), c.text);
  }
}

TEST(PdfDate, RefusesOffsetsAndYearsTheFormCannotShow) {
  const sys_seconds noon = sys_days{2026y / June / 1} + 12h;
  const struct {
    sys_seconds time;
    minutes offset;
    std::string_view message;
  } cases[] = {
      {noon, 24h, "offset"},
      {noon, -24h, "offset"},
      {sys_days{9999y / December / 31} + 23h, 60min, "year"},
      {sys_days{0y / January / 1} + 0s, -1min, "year"},
  };
  for (const auto& c : cases) {
    const Result<String> result = pdf_date(c.time, c.offset);
    ASSERT_FALSE(result.ok()) << c.message;
    EXPECT_EQ(kind_of(result.error()), IoErrorKind::InvalidInput);
    EXPECT_NE(display_form(result.error()).find(c.message), std::string::npos);
  }
}

}  // namespace
}  // namespace vantril
