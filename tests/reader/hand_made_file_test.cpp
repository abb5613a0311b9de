// Files put together byte by byte for what vantril's writer never writes: indirect lengths,
// generations, several subsections, unfiltered cross-reference streams with default fields and
// object streams with "/Extends".
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "reader/reader_test_support.hpp"
#include "vantril/reader.hpp"

namespace vantril {
namespace {

using testing_support::text_of;

struct Body {
  std::uint32_t number;
  std::uint16_t generation;
  std::string text;  // between "N G obj\n" and "\nendobj\n"
};

std::string entry_line(std::size_t offset, std::uint16_t generation, char type) {
  char line[21];
  std::snprintf(line, sizeof line, "%010zu %05u %c\r\n", offset, unsigned{generation}, type);
  return std::string(line, 20);
}

// A body of the objects, then a classic table with one subsection for each run of consecutive
// numbers (and object 0 first), and the trailer entries given.
std::string table_file(const std::vector<Body>& bodies, const std::string& trailer) {
  std::string file = "%PDF-1.5\n";
  std::vector<std::pair<std::uint32_t, std::pair<std::size_t, std::uint16_t>>> offsets;
  for (const Body& body : bodies) {
    offsets.push_back({body.number, {file.size(), body.generation}});
    file += std::to_string(body.number) + " " + std::to_string(body.generation) + " obj\n" +
            body.text + "\nendobj\n";
  }
  const std::size_t xref = file.size();
  file += "xref\n0 1\n" + entry_line(0, 65535, 'f');
  for (std::size_t i = 0; i < offsets.size();) {
    std::size_t j = i;
    while (j + 1 < offsets.size() && offsets[j + 1].first == offsets[j].first + 1) ++j;
    file += std::to_string(offsets[i].first) + " " + std::to_string(j - i + 1) + "\n";
    for (std::size_t k = i; k <= j; ++k) {
      file += entry_line(offsets[k].second.first, offsets[k].second.second, 'n');
    }
    i = j + 1;
  }
  file += "trailer\n<<" + trailer + ">>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
  return file;
}

TEST(ReaderHandMade, IndirectLengthsGenerationsAndSubsections) {
  const std::string data = "0123456789 endstream 0123456789";
  const std::string file = table_file({{1, 0, "<</Type/Catalog/Pages 2 0 R>>"},
                                       {2, 0, "<</Type/Pages/Kids[]/Count 0>>"},
                                       {4, 0, "<</Length 5 0 R>>\nstream\n" + data + "\nendstream"},
                                       {5, 0, std::to_string(data.size())},
                                       {9, 3, "(generation three)"}},
                                      "/Size 10/Root 1 0 R");
  Result<ReadFile> read = read_pdf_bytes(file, {.strict = true, .limits = {}});
  ASSERT_TRUE(read.ok()) << display_form(read.error());
  const Document& document = read.value().document;
  EXPECT_EQ(document.object_table.size(), 5u);
  const Stream* stream = document.object_table.at({4, 0}).stream();
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(std::string_view(stream->data), data);
  EXPECT_EQ(text_of(*stream->stream_dictionary.get("Length")), "5 0 R");
  EXPECT_EQ(text_of(document.object_table.at({9, 3})), "(generation three)");
  EXPECT_EQ(document.highest_number, 9u);
  ASSERT_NE(find_slot(read.value().structure, 0), nullptr);
  EXPECT_EQ(find_slot(read.value().structure, 0)->kind, XrefSlotKind::FreeFinal);
  ASSERT_NE(find_slot(read.value().structure, 9), nullptr);
  EXPECT_EQ(find_slot(read.value().structure, 9)->generation, 3u);
  const IdRuns& defined = read.value().structure.revisions.back().defined;
  EXPECT_EQ(std::vector<ObjectId>(defined.begin(), defined.end()),
            (std::vector<ObjectId>{{1, 0}, {2, 0}, {4, 0}, {5, 0}, {9, 3}}));
  EXPECT_EQ(defined.runs().size(), 3u);

  Result<LazyReader> lazy = LazyReader::over_bytes(file, {.strict = true, .limits = {}});
  ASSERT_TRUE(lazy.ok());
  EXPECT_EQ(lazy.value().load({9, 0}).value().kind(), ObjectKind::Null);
  EXPECT_EQ(lazy.value().load({7, 0}).value().kind(), ObjectKind::Null);
  EXPECT_EQ(text_of(lazy.value().load({9, 3}).value()), "(generation three)");
}

// Subsections need not come in number order: the section's list of what it defines is ascending
// all the same.
TEST(ReaderHandMade, SubsectionsOutOfOrder) {
  const std::string file = table_file({{4, 0, "(four)"},
                                       {5, 1, "(five)"},
                                       {1, 0, "<</Type/Catalog/Pages 2 0 R>>"},
                                       {2, 0, "<</Type/Pages/Kids[]/Count 0>>"}},
                                      "/Size 6/Root 1 0 R");
  Result<ReadFile> read = read_pdf_bytes(file, {.strict = true, .limits = {}});
  ASSERT_TRUE(read.ok()) << display_form(read.error());
  const IdRuns& defined = read.value().structure.revisions.back().defined;
  EXPECT_EQ(std::vector<ObjectId>(defined.begin(), defined.end()),
            (std::vector<ObjectId>{{1, 0}, {2, 0}, {4, 0}, {5, 1}}));
  EXPECT_EQ(read.value().document.object_table.size(), 4u);
}

// An unfiltered cross-reference stream with /W [1 2 1], /Index
// in two ranges, and an object stream that lists two objects.
// With `reversed`, the object stream holds object 3 before object 2, so that its objects in
// number order are not in the order they lie in it.
std::string stream_file(const std::string& object_stream_dictionary, bool reversed = false) {
  std::string file = "%PDF-1.5\n";
  const std::size_t catalog = file.size();
  file += "1 0 obj\n<</Type/Catalog/Pages 2 0 R>>\nendobj\n";
  const std::string content = reversed ? "3 0 2 9 (packed) <</Type/Pages/Kids[]/Count 0>>"
                                       : "2 0 3 31 <</Type/Pages/Kids[]/Count 0>> (packed)";
  const std::string first = reversed ? "8" : "9";
  const std::size_t container = file.size();
  file += "7 0 obj\n<</Type/ObjStm/N 2/First " + first + object_stream_dictionary + "/Length " +
          std::to_string(content.size()) + ">>\nstream\n" + content + "\nendstream\nendobj\n";
  const std::size_t xref = file.size();
  std::string rows;
  const auto row = [&rows](int type, std::size_t second, int third) {
    if (type >= 0) rows.push_back(static_cast<char>(type));
    rows.push_back(static_cast<char>((second >> 8) & 0xFF));
    rows.push_back(static_cast<char>(second & 0xFF));
    rows.push_back(static_cast<char>(third));
  };
  // Objects 1 to 3 typed, then 7 and 8 typed.
  row(1, catalog, 0);
  row(2, 7, reversed ? 1 : 0);
  row(2, 7, reversed ? 0 : 1);
  row(1, container, 0);
  row(1, xref, 0);
  file += "8 0 obj\n<</Type/XRef/Size 9/Index[1 3 7 2]/W[1 2 1]/Root 1 0 R/Length " +
          std::to_string(rows.size()) + ">>\nstream\n" + rows + "\nendstream\nendobj\n";
  file += "startxref\n" + std::to_string(xref) + "\n%%EOF\n";
  return file;
}

TEST(ReaderHandMade, CrossReferenceStreamsAndObjectStreams) {
  const std::string file = stream_file("");
  Result<ReadFile> read = read_pdf_bytes(file, {.strict = true, .limits = {}});
  ASSERT_TRUE(read.ok()) << display_form(read.error());
  const Document& document = read.value().document;
  ASSERT_EQ(document.object_table.size(), 3u);
  EXPECT_EQ(text_of(document.object_table.at({3, 0})), "(packed)");
  EXPECT_EQ(text_of(document.object_table.at({2, 0})), "<</Type/Pages/Kids[]/Count 0>>");
  const FileStructure& structure = read.value().structure;
  const FileSlot* packed = find_slot(structure, 3);
  ASSERT_NE(packed, nullptr);
  EXPECT_EQ(packed->kind, XrefSlotKind::InObjectStream);
  EXPECT_EQ(packed->object_stream(), 7u);
  EXPECT_EQ(packed->index(), 1u);
  EXPECT_EQ(structure.layout_objects, (std::vector<ObjectId>{{7, 0}, {8, 0}}));
  EXPECT_EQ(document.xref_state.xref_form, XrefForm::XrefStreamForm);
  EXPECT_EQ(document.highest_number, 8u);
  const IdRuns& defined = structure.revisions.back().defined;
  EXPECT_EQ(std::vector<ObjectId>(defined.begin(), defined.end()),
            (std::vector<ObjectId>{{1, 0}, {2, 0}, {3, 0}, {7, 0}, {8, 0}}));

  // The same objects in the other order inside their object stream read the same.
  Result<ReadFile> reordered =
      read_pdf_bytes(stream_file("", true), {.strict = true, .limits = {}});
  ASSERT_TRUE(reordered.ok()) << display_form(reordered.error());
  const Document& same = reordered.value().document;
  ASSERT_EQ(same.object_table.size(), document.object_table.size());
  for (const auto& [id, object] : document.object_table) {
    EXPECT_EQ(text_of(same.object_table.at(id)), text_of(object)) << id.number;
  }
  EXPECT_EQ(find_slot(reordered.value().structure, 3)->index(), 0u);

  // An object stream that extends itself is refused, not followed.
  Result<ReadFile> looped = read_pdf_bytes(stream_file("/Extends 7 0 R"));
  ASSERT_FALSE(looped.ok());
  EXPECT_NE(display_form(looped.error()).find("/Extends"), std::string::npos)
      << display_form(looped.error());
}

}  // namespace
}  // namespace vantril
