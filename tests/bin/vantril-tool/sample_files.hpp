// The files the vantril-tool tests run the tool on, made with the library at test time: a small
// document with a nested page tree, its bytes with a wrong "startxref", and a file with revisions.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "vantril/model.hpp"
#include "vantril/revision.hpp"
#include "vantril/writer.hpp"

namespace vantril::testing_support {

inline void write_bytes(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

// 1 catalog, 2 the page tree's root (kids: 3 and 6), 3 an inner node (kids: 4 and 5), 4 to 6 the
// pages, 7 a content stream they share, 8 a stream whose "/Filter" is indirect (9) and whose data
// is ASCIIHexDecode's "Hello, tool".
inline Document three_page_document(XrefForm form) {
  Document document = create_versioned("1.7");
  document.xref_state.xref_form = form;
  for (int i = 0; i < 9; ++i) reserve_id(document);
  const auto page = [](std::uint32_t parent) {
    return Dictionary::from_pairs({{"Type", Name("Page")},
                                   {"Parent", ObjectId{parent, 0}},
                                   {"MediaBox", make_array(0, 0, 200, 100)},
                                   {"Contents", ObjectId{7, 0}}});
  };
  put_object(document, {1, 0},
             Dictionary::from_pairs({{"Type", Name("Catalog")}, {"Pages", ObjectId{2, 0}}}));
  put_object(document, {2, 0},
             Dictionary::from_pairs({{"Type", Name("Pages")},
                                     {"Kids", make_array(ObjectId{3, 0}, ObjectId{6, 0})},
                                     {"Count", 3}}));
  put_object(document, {3, 0},
             Dictionary::from_pairs({{"Type", Name("Pages")},
                                     {"Parent", ObjectId{2, 0}},
                                     {"Kids", make_array(ObjectId{4, 0}, ObjectId{5, 0})},
                                     {"Count", 2}}));
  put_object(document, {4, 0}, page(3));
  put_object(document, {5, 0}, page(3));
  put_object(document, {6, 0}, page(2));
  put_object(document, {7, 0}, make_stream(Dictionary(), Bytes("BT ET")));
  put_object(document, {8, 0},
             make_stream(Dictionary::from_pairs({{"Filter", ObjectId{9, 0}}}),
                         Bytes("48656c6c6f2c20746f6f6c>")));
  put_object(document, {9, 0}, Name("ASCIIHexDecode"));
  document.trailer.set("Root", ObjectId{1, 0});
  return document;
}

inline std::string saved_bytes(Document document) {
  std::string bytes;
  CountingSink sink(bytes);
  EXPECT_TRUE(write_document(document, sink).ok());
  return bytes;
}

// The file's bytes with the number after the last "startxref" pointing one byte too far.
inline std::string with_wrong_startxref(std::string bytes) {
  const std::size_t keyword = bytes.rfind("startxref");
  const std::size_t start = bytes.find_first_of("0123456789", keyword);
  const std::size_t end = bytes.find_first_not_of("0123456789", start);
  const std::uint64_t offset = std::stoull(bytes.substr(start, end - start));
  bytes.replace(start, end - start, std::to_string(offset + 1));
  return bytes;
}

// A hybrid file made of a file saved in the stream form: its cross-reference stream stays, and a
// table section with only object 0, whose trailer points to the stream ("/XRefStm"), becomes the
// file's last section, so that a table-only reader sees no object and every other reader all.
inline std::string as_hybrid(const std::string& stream_file) {
  const std::size_t keyword = stream_file.rfind("startxref");
  const std::uint64_t stream_at = std::stoull(stream_file.substr(keyword + 9));
  const std::size_t size_at = stream_file.find("/Size ", stream_at) + 6;
  const std::string size =
      stream_file.substr(size_at, stream_file.find_first_not_of("0123456789", size_at) - size_at);
  std::string file = stream_file.substr(0, keyword);
  const std::size_t table_at = file.size();
  file += "xref\n0 1\n0000000000 65535 f \ntrailer\n<</Size ";
  file += size;
  file += "/Root 1 0 R/XRefStm ";
  file += std::to_string(stream_at);
  file += ">>\nstartxref\n";
  file += std::to_string(table_at);
  file += "\n%%EOF\n";
  return file;
}

// The three-page document saved in `form` and extended by revisions in the same form (appending
// keeps it) until the file has `revisions` sections; each appended one changes the catalog.
inline void save_with_revisions(const std::filesystem::path& path, XrefForm form, int revisions) {
  Document document = three_page_document(form);
  Result<RevisionState> state = save_revisable(document, path.string());
  ASSERT_TRUE(state.ok());
  for (int i = 1; i < revisions; ++i) {
    document.object_table.find(ObjectId{1, 0})->second.dictionary()->set("Revision", i);
    const std::vector<ObjectId> changed{{1, 0}};
    state = append_revision(document, path.string(), state.value(), changed, changed);
    ASSERT_TRUE(state.ok());
  }
}

}  // namespace vantril::testing_support
