// Checks the signing tests share: what qpdf and pdfsig say of a file, whether one file starts
// with another, and a one-page document to sign.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <filesystem>
#include <string>

#include "support/files.hpp"
#include "support/posix/shell.hpp"
#include "vantril/model.hpp"

namespace vantril::testing_support {

// How many times `piece` occurs in `text`.
inline std::size_t count_of(const std::string& text, const std::string& piece) {
  std::size_t count = 0;
  for (std::size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) {
    ++count;
  }
  return count;
}

// qpdf reads the file and finds nothing wrong in it.
inline void expect_qpdf_check_clean(const std::filesystem::path& file) {
  const Ran checked = run("qpdf --check " + quoted(file));
  EXPECT_EQ(checked.exit_status, 0) << file << "\n" << checked.output;
  EXPECT_NE(checked.output.find("No syntax or stream encoding errors found"), std::string::npos)
      << checked.output;
}

// The longer file holds the shorter one's bytes, unchanged, as its start.
inline bool starts_with_file(const std::filesystem::path& longer,
                             const std::filesystem::path& shorter) {
  const std::string before = read_file(shorter);
  return !before.empty() && read_file(longer).compare(0, before.size(), before) == 0;
}

// A one-page document whose content shows `text`; `page` and `content` get its identifiers.
inline Document one_page(XrefForm form, const std::string& text, ObjectId& page,
                         ObjectId& content) {
  Document document = create_versioned("1.7");
  document.xref_state.xref_form = form;
  const ObjectId pages = reserve_id(document);
  const ObjectId font = append_object(document, Dictionary::from_pairs({
                                                    {"Type", Name("Font")},
                                                    {"Subtype", Name("Type1")},
                                                    {"BaseFont", Name("Helvetica")},
                                                }));
  content = append_object(
      document, make_stream(Dictionary(), "BT /F1 24 Tf 100 700 Td (" + text + ") Tj ET"));
  page = append_object(document,
                       Dictionary::from_pairs({
                           {"Type", Name("Page")},
                           {"Parent", pages},
                           {"MediaBox", make_array(0, 0, 595, 842)},
                           {"Contents", content},
                           {"Resources", Dictionary::from_pairs({
                                             {"Font", Dictionary::from_pairs({{"F1", font}})},
                                         })},
                       }));
  put_object(
      document, pages,
      Dictionary::from_pairs({{"Type", Name("Pages")}, {"Kids", make_array(page)}, {"Count", 1}}));
  document.trailer.set("Root", append_object(document, Dictionary::from_pairs({
                                                           {"Type", Name("Catalog")},
                                                           {"Pages", pages},
                                                       })));
  return document;
}

}  // namespace vantril::testing_support
