// PDF text strings from UTF-8 (PDFDocEncoding or UTF-16BE) and PDF date strings.
#include <array>
#include <cstdint>
#include <string>

#include "content/utf8.hpp"
#include "runtime/invalid_input.hpp"
#include "vantril/text.hpp"
#include "writer/number_text.hpp"

namespace vantril {

namespace {

// The characters of PDFDocEncoding's codes 0x18..0x1F and 0x80..0xFF; 0 marks a code with no
// character. Codes 0x20..0x7E are ASCII, and of the controls only tab, line feed and carriage
// return have meaning.
constexpr std::array<char16_t, 8> pdf_doc_low = {0x02D8, 0x02C7, 0x02C6, 0x02D9,
                                                 0x02DD, 0x02DB, 0x02DA, 0x02DC};
constexpr std::array<char16_t, 32> pdf_doc_high = {
    0x2022, 0x2020, 0x2021, 0x2026, 0x2014, 0x2013, 0x0192, 0x2044, 0x2039, 0x203A, 0x2212,
    0x2030, 0x201E, 0x201C, 0x201D, 0x2018, 0x2019, 0x201A, 0x2122, 0xFB01, 0xFB02, 0x0141,
    0x0152, 0x0160, 0x0178, 0x017D, 0x0131, 0x0142, 0x0153, 0x0161, 0x017E, 0x0000};

// The PDFDocEncoding code of a character, or -1 when it has none.
int pdf_doc_code(char32_t c) {
  if ((c >= 0x20 && c <= 0x7E) || c == '\t' || c == '\n' || c == '\r') return static_cast<int>(c);
  // 0xA0 is the euro sign here; Latin-1's no-break space has no code, nor has the soft hyphen.
  if (c >= 0xA1 && c <= 0xFF && c != 0xAD) return static_cast<int>(c);
  if (c == 0x20AC) return 0xA0;
  for (std::size_t i = 0; i < pdf_doc_low.size(); ++i) {
    if (pdf_doc_low[i] == c) return static_cast<int>(0x18 + i);
  }
  for (std::size_t i = 0; i < pdf_doc_high.size(); ++i) {
    if (pdf_doc_high[i] != 0 && pdf_doc_high[i] == c) return static_cast<int>(0x80 + i);
  }
  return -1;
}

void put_utf16_unit(std::string& out, std::uint32_t unit) {
  out.push_back(static_cast<char>(unit >> 8));
  out.push_back(static_cast<char>(unit & 0xFF));
}

// The lowest `count` digits of `value` (never negative here), zero-padded.
void put_fixed_digits(std::string& out, long long value, std::size_t count) {
  char digits[4];
  put_digits(digits + count, static_cast<std::uint64_t>(value), count);
  out.append(digits, count);
}

void put_two_digits(std::string& out, long long value) { put_fixed_digits(out, value, 2); }

}  // namespace

Result<String> text_string(std::string_view utf8) {
  std::string pdf_doc;
  pdf_doc.reserve(utf8.size());
  bool fits = true;
  for (std::size_t position = 0; position < utf8.size();) {
    Utf8Char c;
    if (!decode_utf8(utf8, position, c)) {
      return invalid_input("the text is not valid UTF-8: a malformed sequence starts at byte " +
                           std::to_string(position));
    }
    position += c.length;
    const int code = fits ? pdf_doc_code(c.code_point) : -1;
    if (code < 0) {
      fits = false;
    } else {
      pdf_doc.push_back(static_cast<char>(code));
    }
  }
  if (fits) return literal_string(pdf_doc);

  std::string utf16 = "\xFE\xFF";
  utf16.reserve(2 + 2 * utf8.size());
  for (std::size_t position = 0; position < utf8.size();) {
    Utf8Char c;
    decode_utf8(utf8, position, c);  // checked above
    position += c.length;
    const auto value = static_cast<std::uint32_t>(c.code_point);
    if (value < 0x10000) {
      put_utf16_unit(utf16, value);
    } else {
      put_utf16_unit(utf16, 0xD800 + ((value - 0x10000) >> 10));
      put_utf16_unit(utf16, 0xDC00 + ((value - 0x10000) & 0x3FF));
    }
  }
  return literal_string(utf16);
}

Result<String> pdf_date(std::chrono::sys_seconds time, std::chrono::minutes utc_offset) {
  using namespace std::chrono;
  const long long offset = utc_offset.count();
  if (offset < -(23 * 60 + 59) || offset > 23 * 60 + 59) {
    return invalid_input("a date's UTC offset must lie within -23:59 and +23:59, not " +
                         std::to_string(offset) + " minutes");
  }
  const sys_seconds local = time + utc_offset;
  const sys_days day = floor<days>(local);
  const year_month_day date(day);
  const int year = static_cast<int>(date.year());
  if (year < 0 || year > 9999) {
    return invalid_input("a date's year must lie within 0000 and 9999, not " +
                         std::to_string(year));
  }
  const hh_mm_ss<seconds> clock(local - day);
  std::string text = "D:";
  put_fixed_digits(text, year, 4);
  put_two_digits(text, static_cast<unsigned>(date.month()));
  put_two_digits(text, static_cast<unsigned>(date.day()));
  put_two_digits(text, clock.hours().count());
  put_two_digits(text, clock.minutes().count());
  put_two_digits(text, clock.seconds().count());
  if (offset == 0) {
    text.push_back('Z');
  } else {
    const long long magnitude = offset < 0 ? -offset : offset;
    text.push_back(offset < 0 ? '-' : '+');
    put_two_digits(text, magnitude / 60);
    text.push_back('\'');
    put_two_digits(text, magnitude % 60);
    text.push_back('\'');
  }
  return literal_string(text);
}

}  // namespace vantril
