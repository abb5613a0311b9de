// Content streams and documents come out byte for byte the same whatever the C and C++ locales
// say: a German locale, whose decimal separator is a comma, changes nothing.
#include <gtest/gtest.h>

#include <chrono>
#include <clocale>
#include <cstdio>
#include <locale>
#include <string>

#include "vantril/content.hpp"
#include "vantril/fonts.hpp"
#include "vantril/model.hpp"
#include "vantril/pages.hpp"
#include "vantril/writer.hpp"

namespace vantril {
namespace {

std::string build_and_write() {
  Document document = create_versioned("1.7");
  const PageTree tree = add_page_tree(document);
  add_catalog(document, tree);
  DocumentInfo info;
  info.title = "1.234,50 \xE2\x82\xAC";
  info.creation_date = std::chrono::sys_days{std::chrono::year{2026} / 12 / 7};
  info.utc_offset = std::chrono::minutes{-90};
  EXPECT_TRUE(add_info(document, info).ok());
  ContentBuilder content;
  content.begin_text().font("F1", 10.5).leading(12.25);
  for (int i = 0; i < 500; ++i) {
    content.text_matrix(1, 0, 0.2125, 1, 72.125 + i * 0.37, 841.89 - i / 3.0);
    content.show_text_adjusted({std::string_view("A"), -0.5 * i, std::string_view("V")});
  }
  content.end_text().line_width(0.125).dash({0.5, 1.75}, 0.25).fill_rgb(0.1, 0.2, 0.3);
  content.move_to(1e-3, 12345.678).curve_to(0.1, 0.2, 0.3, 0.4, 0.5, 0.6).stroke();
  Result<Stream> stream = std::move(content).take_stream();
  EXPECT_TRUE(stream.ok());
  add_page(document, tree,
           Dictionary::from_pairs({{"MediaBox", page_box(595.276, 841.89)},
                                   {"Contents", append_object(document, std::move(stream).value())},
                                   {"UserUnit", 1.5}}));
  add_annotation(document, ObjectId{5, 0}, page_link({72.5, 36.25, 132.75, 50.125}, {5, 0}));
  std::string bytes;
  CountingSink sink(bytes);
  EXPECT_TRUE(write_document(document, sink).ok());
  return bytes;
}

TEST(Locale, AGermanLocaleChangesNoByte) {
  const std::string in_c = build_and_write();
  ASSERT_NE(in_c.find("72.125 841.89 Tm"), std::string::npos);

  ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr)
      << "the de_DE.UTF-8 locale is missing: install locales-all (make test does so as root)";
  std::locale::global(std::locale("de_DE.UTF-8"));
  // The locale is in force: the C library's own formatting now writes a decimal comma.
  char formatted[16];
  std::snprintf(formatted, sizeof formatted, "%.2f", 0.25);
  const std::string german_formatting = formatted;
  const std::string in_german = build_and_write();
  std::locale::global(std::locale::classic());
  std::setlocale(LC_ALL, "C");

  EXPECT_EQ(german_formatting, "0,25");
  EXPECT_EQ(in_german, in_c);
}

}  // namespace
}  // namespace vantril
