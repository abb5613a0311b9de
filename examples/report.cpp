// Writes a multi-page report: a statement of 100 amounts in Helvetica, with accented and special
// characters in the text, the amounts right-aligned by their measured widths, page numbers, a
// link to a web page and links back to the first page.
// Usage: report [DIRECTORY]   (writes report.pdf there)
#include <cstdint>
#include <iostream>
#include <string>
#include <utility>
#include <vantril/content.hpp>
#include <vantril/fonts.hpp>
#include <vantril/model.hpp>
#include <vantril/pages.hpp>
#include <vantril/text.hpp>
#include <vantril/writer.hpp>
#include <vector>

#include "report_rows.hpp"

using namespace vantril;

namespace {

constexpr double page_width = 595;
constexpr double page_height = 842;
constexpr double left = 72;
constexpr double right = 523;  // the amounts' right edge
constexpr double size = 10;
constexpr double line_height = 16;
constexpr std::size_t rows_per_page = 40;

// 123456 cents as "1,234.56"; the text is built from digits, so no locale can change it.
std::string amount_text(std::int64_t cents) {
  std::uint64_t rest =
      cents < 0 ? 0 - static_cast<std::uint64_t>(cents) : static_cast<std::uint64_t>(cents);
  // Written from the right, then turned around.
  std::string text;
  for (int digits = 0; digits < 3 || rest != 0; ++digits) {
    if (digits == 2) text.push_back('.');
    if (digits > 3 && (digits - 2) % 3 == 0) text.push_back(',');
    text.push_back(static_cast<char>('0' + rest % 10));
    rest /= 10;
  }
  if (cents < 0) text.push_back('-');
  return {text.rbegin(), text.rend()};
}

// Shows UTF-8 text with its right edge at `x`, measured in the font's own widths.
Status show_right_aligned(ContentBuilder& content, StandardFont font, double font_size,
                          std::string_view utf8, double x, double y) {
  Result<std::string> codes = encode_text(font, utf8);
  if (!codes.ok()) return std::move(codes).error();
  const double width = text_width(font, codes.value(), font_size);
  content.text_matrix(1, 0, 0, 1, x - width, y).show_text(codes.value());
  return {};
}

Result<Document> build_report() {
  Document document = create_versioned("1.7");
  const PageTree tree = add_page_tree(document);
  add_catalog(document, tree);
  DocumentInfo info;
  info.title = "Statement for Müller (GmbH) \\ 50% €";
  info.creator = "vantril example report";
  info.creation_date = std::chrono::sys_days{std::chrono::year{2026} / 12 / 7};
  info.utc_offset = std::chrono::minutes{60};
  if (Result<ObjectId> stored = add_info(document, info); !stored.ok()) return stored.error();

  const ObjectId regular = append_object(document, font_dictionary(StandardFont::Helvetica));
  const ObjectId bold = append_object(document, font_dictionary(StandardFont::HelveticaBold));

  const std::vector<ReportRow> rows = report_rows();
  const std::size_t pages = (rows.size() + rows_per_page - 1) / rows_per_page;
  std::int64_t total = 0;
  std::vector<ObjectId> page_ids;
  for (std::size_t page = 0; page < pages; ++page) {
    ContentBuilder content;
    content.begin_text().font("F2", 14).text_matrix(1, 0, 0, 1, left, 780);
    content.show_text(StandardFont::HelveticaBold, info.title);
    content.font("F2", size).text_matrix(1, 0, 0, 1, left, 750).show_text("Description");
    VANTRIL_TRY(
        show_right_aligned(content, StandardFont::HelveticaBold, size, "Amount (EUR)", right, 750));
    content.font("F1", size);
    double y = 750 - 1.5 * line_height;
    const std::size_t first = page * rows_per_page;
    for (std::size_t i = first; i < rows.size() && i < first + rows_per_page; ++i) {
      content.text_matrix(1, 0, 0, 1, left, y);
      content.show_text(StandardFont::Helvetica, rows[i].description);
      VANTRIL_TRY(show_right_aligned(content, StandardFont::Helvetica, size,
                                     amount_text(rows[i].cents), right, y));
      total += rows[i].cents;
      y -= line_height;
    }
    if (page + 1 == pages) {
      content.font("F2", size).text_matrix(1, 0, 0, 1, left, y - 4).show_text("Total");
      VANTRIL_TRY(show_right_aligned(content, StandardFont::HelveticaBold, size, amount_text(total),
                                     right, y - 4));
    }
    // The page number, centred by its width.
    const std::string number = "Page " + std::to_string(page + 1) + " of " + std::to_string(pages);
    const double number_width = text_width(StandardFont::Helvetica, number, 9);
    content.font("F1", 9).text_matrix(1, 0, 0, 1, (page_width - number_width) / 2, 40);
    content.show_text(number);
    content.text_matrix(1, 0, 0, 1, left, 40).show_text(page == 0 ? "vantril" : "First page");
    content.end_text();
    // A rule under the headings.
    content.line_width(0.5).move_to(left, 745).line_to(right, 745).stroke();

    Result<Stream> stream = std::move(content).take_stream();
    if (!stream.ok()) return std::move(stream).error();
    Dictionary fonts = Dictionary::from_pairs({{"F1", regular}, {"F2", bold}});
    const ObjectId page_id =
        add_page(document, tree,
                 Dictionary::from_pairs({
                     {"MediaBox", page_box(page_width, page_height)},
                     {"Resources", Dictionary::from_pairs({{"Font", std::move(fonts)}})},
                     {"Contents", append_object(document, std::move(stream).value())},
                 }));
    page_ids.push_back(page_id);
    // Links over the words at the bottom left: the project's page, or back to page one.
    const Rect area{left, 36, left + 60, 50};
    if (page == 0) {
      Result<Dictionary> link = uri_link(area, "https://example.com/vantril?report=1");
      if (!link.ok()) return std::move(link).error();
      add_annotation(document, page_id, std::move(link).value());
    } else {
      add_annotation(document, page_id, page_link(area, page_ids.front()));
    }
  }
  return document;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string path = std::string(argc > 1 ? argv[1] : ".") + "/report.pdf";
  Result<Document> document = build_report();
  if (!document.ok()) {
    std::cerr << "report: " << display_form(document.error()) << '\n';
    return 1;
  }
  const Result<OutputFile> saved = save_to_path(document.value(), path);
  if (!saved.ok()) {
    std::cerr << "report: cannot save " << path << ": " << display_form(saved.error()) << '\n';
    return 1;
  }
  std::cout << "wrote " << path << '\n';
  return 0;
}
