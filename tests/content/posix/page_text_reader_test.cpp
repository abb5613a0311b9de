// Text written with the content builder and the standard fonts, read back by poppler: every
// character each encoding has comes back as itself, the example report's text comes back exactly
// as its rows were given, and its right-aligned amounts end within 0.01 pt of their edge.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <map>
#include <regex>
#include <span>
#include <string>
#include <vector>

#include "content/posix/external_tools.hpp"
#include "content/standard_font_metrics.hpp"
#include "content/utf8.hpp"
#include "vantril/content.hpp"
#include "vantril/fonts.hpp"
#include "vantril/model.hpp"
#include "vantril/pages.hpp"

#if defined(VANTRIL_REPORT_PATH)
#include "report_rows.hpp"
#endif

namespace vantril {
namespace {

namespace fs = std::filesystem;
using testing_support::layout_lines;
using testing_support::quoted;
using testing_support::run_tool;

// Every character of Windows code page 1252 that shows a glyph, in lines of 24; the space, the
// no-break space and the soft hyphen are left out, since text extraction treats them as layout.
std::vector<std::string> win_ansi_lines() {
  const char32_t high[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                             0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                             0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                             0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
  std::vector<char32_t> characters;
  for (char32_t c = 0x21; c < 0x7F; ++c) characters.push_back(c);
  for (const char32_t c : high) {
    if (c != 0) characters.push_back(c);
  }
  for (char32_t c = 0xA1; c <= 0xFF; ++c) {
    if (c != 0xAD) characters.push_back(c);
  }
  std::vector<std::string> lines(1);
  for (std::size_t i = 0; i < characters.size(); ++i) {
    if (i > 0 && i % 24 == 0) lines.emplace_back();
    lines.back() += utf8_of(characters[i]);
  }
  return lines;
}

// A page showing the lines in one standard font, resource name F, 11 points on 15.
void add_text_page(Document& document, const PageTree& tree, StandardFont font,
                   const std::vector<std::string>& lines) {
  ContentBuilder content;
  content.begin_text().font("F", 11).leading(15).move_text(40, 800);
  for (const std::string& line : lines) content.show_text(font, line).next_line();
  content.end_text();
  Result<Stream> stream = std::move(content).take_stream();
  ASSERT_TRUE(stream.ok()) << display_form(stream.error());
  const ObjectId font_id = append_object(document, font_dictionary(font));
  add_page(document, tree,
           Dictionary::from_pairs({
               {"MediaBox", page_box(595, 842)},
               {"Resources",
                Dictionary::from_pairs({{"Font", Dictionary::from_pairs({{"F", font_id}})}})},
               {"Contents", append_object(document, std::move(stream).value())},
           }));
}

TEST(PageTextReader, EveryTextFontGivesBackEveryWinAnsiCharacter) {
  const std::vector<std::string> lines = win_ansi_lines();
  Document document = create_versioned("1.7");
  const PageTree tree = add_page_tree(document);
  add_catalog(document, tree);
  for (int index = 0; index < 12; ++index) {
    add_text_page(document, tree, static_cast<StandardFont>(index), lines);
  }
  const fs::path folder = testing_support::fresh_directory("win-ansi");
  const fs::path file = folder / "fonts.pdf";
  ASSERT_TRUE(testing_support::save_document(document, file));
  testing_support::expect_readers_accept(file);
  for (int page = 1; page <= 12; ++page) {
    EXPECT_EQ(layout_lines(file, page), lines)
        << base_font_name(static_cast<StandardFont>(page - 1));
  }
}

// Symbol and ZapfDingbats show each character of their built-in encodings. Left out: the Greek
// letters Delta, Omega and mu, which share their codes with the signs increment, ohm and micro
// (text extraction gives the signs), and the codes that the current metrics have and poppler's
// older built-in encodings lack: Symbol's euro sign and ZapfDingbats' 128..141.
TEST(PageTextReader, SymbolAndZapfDingbatsGiveBackTheirCharacters) {
  Document document = create_versioned("1.7");
  const PageTree tree = add_page_tree(document);
  add_catalog(document, tree);
  std::vector<std::vector<std::string>> expected;
  for (const auto& [font, codes] :
       {std::pair{StandardFont::Symbol, std::span<const UnicodeCode>(symbol_codes)},
        std::pair{StandardFont::ZapfDingbats, std::span<const UnicodeCode>(zapf_dingbats_codes)}}) {
    std::map<std::uint8_t, char32_t> by_code;
    for (const UnicodeCode& entry : codes) {
      const bool alias =
          entry.unicode == 0x0394 || entry.unicode == 0x03A9 || entry.unicode == 0x03BC;
      const bool newer = font == StandardFont::Symbol ? entry.code == 0xA0
                                                      : entry.code >= 128 && entry.code <= 141;
      if (entry.unicode != 0x20 && !alias && !newer) by_code[entry.code] = entry.unicode;
    }
    std::vector<std::string> lines(1);
    for (const auto& [code, unicode] : by_code) {
      if (lines.back().size() >= 40) lines.emplace_back();
      lines.back() += utf8_of(unicode);
    }
    add_text_page(document, tree, font, lines);
    expected.push_back(lines);
  }
  const fs::path folder = testing_support::fresh_directory("symbol");
  const fs::path file = folder / "symbol.pdf";
  ASSERT_TRUE(testing_support::save_document(document, file));
  testing_support::expect_readers_accept(file);
  EXPECT_EQ(layout_lines(file, 1), expected[0]);
  EXPECT_EQ(layout_lines(file, 2), expected[1]);
}

#if defined(VANTRIL_REPORT_PATH)

// 123456 cents as "1,234.56", grouped from the right.
std::string grouped_amount(std::int64_t cents) {
  const std::uint64_t magnitude =
      cents < 0 ? 0 - static_cast<std::uint64_t>(cents) : static_cast<std::uint64_t>(cents);
  std::string whole = std::to_string(magnitude / 100);
  for (std::size_t at = whole.size(); at > 3; at -= 3) whole.insert(at - 3, ",");
  const std::uint64_t fraction = magnitude % 100;
  return (cents < 0 ? "-" : "") + whole + "." + (fraction < 10 ? "0" : "") +
         std::to_string(fraction);
}

fs::path run_report(const std::string& name) {
  const fs::path folder = testing_support::fresh_directory(name);
  const auto ran = run_tool(std::string(VANTRIL_REPORT_PATH) + " " + quoted(folder), folder);
  EXPECT_EQ(ran.exit_status, 0) << ran.errors;
  return folder / "report.pdf";
}

TEST(PageTextReader, TheReportGivesBackExactlyTheTextOfItsRows) {
  const fs::path file = run_report("report-text");
  testing_support::expect_readers_accept(file);
  const std::vector<ReportRow> rows = report_rows();
  const std::string title = "Statement for M\xC3\xBCller (GmbH) \\ 50% \xE2\x82\xAC";
  std::vector<std::string> expected;
  std::int64_t total = 0;
  for (std::size_t page = 1; page <= 3; ++page) {
    expected = {title, "Description Amount (EUR)"};
    for (std::size_t i = (page - 1) * 40; i < rows.size() && i < page * 40; ++i) {
      expected.push_back(rows[i].description + " " + grouped_amount(rows[i].cents));
      total += rows[i].cents;
    }
    if (page == 3) expected.push_back("Total " + grouped_amount(total));
    expected.push_back((page == 1 ? "vantril" : "First page") + std::string(" Page ") +
                       std::to_string(page) + " of 3");
    EXPECT_EQ(layout_lines(file, static_cast<int>(page)), expected) << "page " << page;
  }
}

TEST(PageTextReader, TheReportsAmountsEndAtTheirEdgeWithin0_01Point) {
  const fs::path file = run_report("report-bbox");
  const auto ran = run_tool("pdftotext -bbox " + quoted(file) + " -", file.parent_path());
  ASSERT_EQ(ran.exit_status, 0) << ran.errors;
  // The last word of each line, keyed by page and the line's top.
  const std::regex word(
      "<word xMin=\"([0-9.]+)\" yMin=\"([0-9.]+)\" xMax=\"([0-9.]+)\" yMax=\"[0-9.]+\">([^<]*)</"
      "word>");
  const std::regex amount("-?[0-9]{1,3}(,[0-9]{3})*\\.[0-9]{2}|\\(EUR\\)");
  std::map<std::pair<int, long>, std::pair<double, std::string>> last_words;
  int page = 0;
  std::size_t at = 0;
  for (std::size_t next; (next = ran.output.find('\n', at)) != std::string::npos; at = next + 1) {
    const std::string line = ran.output.substr(at, next - at);
    if (line.find("<page ") != std::string::npos) ++page;
    std::smatch match;
    if (!std::regex_search(line, match, word)) continue;
    const auto key = std::make_pair(page, std::lround(std::stod(match[2]) * 10));
    const double x_max = std::stod(match[3]);
    auto& last = last_words[key];
    if (x_max >= last.first) last = {x_max, match[4]};
  }
  std::size_t aligned = 0;
  for (const auto& [key, last] : last_words) {
    if (!std::regex_match(last.second, amount)) continue;
    EXPECT_NEAR(last.first, 523.0, 0.01) << "page " << key.first << ": " << last.second;
    ++aligned;
  }
  // 100 rows, the total, and the column heading on each of the 3 pages.
  EXPECT_EQ(aligned, 104u);
}

#endif

}  // namespace
}  // namespace vantril
