// Text strings read back by an independent reader: pikepdf decodes the Info dictionary's values
// (PDFDocEncoding or UTF-16BE) into the UTF-8 they were made from.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "content/posix/external_tools.hpp"
#include "vantril/model.hpp"
#include "vantril/pages.hpp"
#include "vantril/text.hpp"

namespace vantril {
namespace {

using testing_support::quoted;
using testing_support::run_tool;

std::string hex_of(const std::string& bytes) {
  static constexpr char digits[] = "0123456789abcdef";
  std::string hex;
  for (const char c : bytes) {
    hex.push_back(digits[static_cast<unsigned char>(c) >> 4]);
    hex.push_back(digits[static_cast<unsigned char>(c) & 0xF]);
  }
  return hex;
}

TEST(TextStringReader, PikepdfDecodesEveryStringBackToItsUtf8) {
  std::vector<std::string> texts = {
      "Invoice",
      "M\xC3\xBCller (GmbH) \\ 50% \xE2\x82\xAC",
      "one ) unbalanced ( and \r carriage return",
      "\xC5\x81\xC3\xB3"
      "d\xC5\xBA",
      "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E \xF0\x9F\x98\x80",
      "\xE2\x80\x9Cquoted\xE2\x80\x9D \xE2\x80\x93 \xE2\x80\xA6 \xEF\xAC\x81 \xE2\x84\xA2",
  };
  // Every character PDFDocEncoding has, one string of them all.
  std::string every;
  for (char32_t c = 0x20; c < 0x7F; ++c) every.push_back(static_cast<char>(c));
  for (const char* more :
       {"\xCB\x98\xCB\x87\xCB\x86\xCB\x99\xCB\x9D\xCB\x9B\xCB\x9A\xCB\x9C",
        "\xE2\x80\xA2\xE2\x80\xA0\xE2\x80\xA1\xE2\x80\xA6\xE2\x80\x94\xE2\x80\x93"
        "\xC6\x92\xE2\x81\x84\xE2\x80\xB9\xE2\x80\xBA\xE2\x88\x92\xE2\x80\xB0"
        "\xE2\x80\x9E\xE2\x80\x9C\xE2\x80\x9D\xE2\x80\x98\xE2\x80\x99\xE2\x80\x9A"
        "\xE2\x84\xA2\xEF\xAC\x81\xEF\xAC\x82\xC5\x81\xC5\x92\xC5\xA0\xC5\xB8"
        "\xC5\xBD\xC4\xB1\xC5\x82\xC5\x93\xC5\xA1\xC5\xBE\xE2\x82\xAC"}) {
    every += more;
  }
  for (unsigned c = 0xA1; c <= 0xFF; ++c) {
    if (c == 0xAD) continue;
    every.push_back(static_cast<char>(0xC0 | (c >> 6)));
    every.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
  texts.push_back(every);

  // One empty page: readers refuse a document without any.
  Document document = create_versioned("1.7");
  const PageTree tree = add_page_tree(document);
  add_catalog(document, tree);
  add_page(document, tree, Dictionary::from_pairs({{"MediaBox", page_box(595, 842)}}));
  Dictionary info;
  for (std::size_t i = 0; i < texts.size(); ++i) {
    Result<String> text = text_string(texts[i]);
    ASSERT_TRUE(text.ok());
    if (i == 3 || i == 4) {
      EXPECT_EQ(std::string(text.value().bytes).substr(0, 2), "\xFE\xFF");
    } else {
      EXPECT_NE(std::string(text.value().bytes).substr(0, 2), "\xFE\xFF") << i;
    }
    info.set("T" + std::to_string(i), std::move(text).value());
  }
  document.trailer.set("Info", append_object(document, std::move(info)));

  const auto folder = testing_support::fresh_directory("text-strings");
  ASSERT_TRUE(testing_support::save_document(document, folder / "info.pdf"));
  testing_support::expect_readers_accept(folder / "info.pdf");
  const auto ran = run_tool(
      "/usr/bin/python3 -c 'import sys, pikepdf\n"
      "pdf = pikepdf.open(sys.argv[1])\n"
      "for i in range(int(sys.argv[2])):\n"
      "    print(str(pdf.trailer.Info[\"/T%d\" % i]).encode(\"utf-8\").hex())' " +
          quoted(folder / "info.pdf") + " " + std::to_string(texts.size()),
      folder);
  ASSERT_EQ(ran.exit_status, 0) << ran.errors;
  std::string expected;
  for (const std::string& text : texts) expected += hex_of(text) + "\n";
  EXPECT_EQ(ran.output, expected);
}

}  // namespace
}  // namespace vantril
