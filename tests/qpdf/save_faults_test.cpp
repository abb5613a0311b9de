// Saves that once reported success over a wrong file, each read back by libqpdf: two objects
// under one number, a trailer left over from the other form, a table whose "Size" disagrees with
// it, and a string cut short at a NUL byte.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <limits>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "qpdf/qpdf_reader.hpp"
#include "qpdf/round_trip_check.hpp"
#include "vantril/writer/save.hpp"

namespace vantril {
namespace {

std::string saved(Document& document) {
  std::string file;
  CountingSink sink(file);
  EXPECT_TRUE(write_document(document, sink).ok());
  return file;
}

// The digits at `at`, or nothing; `at` moves past them.
std::optional<std::uint64_t> digits_at(const std::string& file, std::size_t& at) {
  const std::size_t start = at;
  std::uint64_t value = 0;
  while (at < file.size() && at - start < 10 && file[at] >= '0' && file[at] <= '9') {
    value = value * 10 + static_cast<std::uint64_t>(file[at++] - '0');
  }
  if (at == start) return std::nullopt;
  return value;
}

// The "<number> <generation> obj" lines that open objects, as written.
std::vector<ObjectId> object_headers(const std::string& file) {
  std::vector<ObjectId> headers;
  std::size_t line = 0;
  while (line < file.size()) {
    std::size_t at = line;
    const std::optional<std::uint64_t> number = digits_at(file, at);
    if (number && file.compare(at, 1, " ") == 0) {
      ++at;
      const std::optional<std::uint64_t> generation = digits_at(file, at);
      if (generation && file.compare(at, 5, " obj\n") == 0) {
        headers.push_back(
            ObjectId{static_cast<std::uint32_t>(*number), static_cast<std::uint16_t>(*generation)});
      }
    }
    const std::size_t end = file.find('\n', line);
    if (end == std::string::npos) break;
    line = end + 1;
  }
  return headers;
}

// Every problem the file shows against the document: libqpdf's differences, and a number that
// opens two objects.
std::vector<std::string> problems(const Document& document, const std::string& file) {
  std::vector<std::string> found = testing_support::round_trip_differences(document, file);
  std::map<std::uint32_t, int> opened;
  for (const ObjectId& id : object_headers(file)) {
    if (++opened[id.number] == 2) found.push_back("two objects under " + std::to_string(id.number));
  }
  return found;
}

Document one_page(XrefForm form) {
  Document document = create_versioned("1.7");
  document.xref_state.xref_form = form;
  append_object(document,
                Dictionary::from_pairs({{"Type", Name("Catalog")}, {"Pages", ObjectId{2, 0}}}));
  append_object(document,
                Dictionary::from_pairs(
                    {{"Type", Name("Pages")}, {"Kids", make_array(ObjectId{3, 0})}, {"Count", 1}}));
  append_object(document, Dictionary::from_pairs({{"Type", Name("Page")},
                                                  {"Parent", ObjectId{2, 0}},
                                                  {"MediaBox", make_array(0, 0, 595, 842)}}));
  document.trailer.set("Root", ObjectId{1, 0});
  return document;
}

const char* form_name(XrefForm form) {
  return form == XrefForm::XrefStreamForm ? "stream form" : "table form";
}

// The Info dictionary stored one above the counter once vanished behind a cross-reference stream
// of the same number; an append after it replaced it.
TEST(SaveFaults, AnObjectStoredAboveTheCounterKeepsItsNumberAndItsEntry) {
  for (XrefForm form : {XrefForm::XrefStreamForm, XrefForm::XrefTableForm}) {
    for (bool append_after : {false, true}) {
      SCOPED_TRACE(std::string(form_name(form)) + (append_after ? ", append after" : ""));
      Document document = one_page(form);
      const ObjectId info{document.highest_number + 1, 0};
      put_object(document, info, Dictionary::from_pairs({{"Title", literal_string("kept")}}));
      document.trailer.set("Info", info);
      if (append_after) {
        EXPECT_EQ(append_object(document, literal_string("appended")), (ObjectId{5, 0}));
      }
      const std::string file = saved(document);
      EXPECT_EQ(problems(document, file), std::vector<std::string>{});
      EXPECT_EQ(object_headers(file).size(),
                document.object_table.size() + (form == XrefForm::XrefStreamForm ? 1 : 0));
    }
  }
}

// Each order of the two forms: each file reads back without a warning, with the trailer the
// document now holds and the same objects as the other.
TEST(SaveFaults, RepeatedSavesInEveryOrderOfFormsHoldTheSameObjects) {
  for (XrefForm first : {XrefForm::XrefStreamForm, XrefForm::XrefTableForm}) {
    for (XrefForm second : {XrefForm::XrefStreamForm, XrefForm::XrefTableForm}) {
      SCOPED_TRACE(std::string(form_name(first)) + ", then " + form_name(second));
      Document document = one_page(first);
      put_object(document, {6, 0}, literal_string("after a gap"));
      reserve_id(document);  // 7: reserved, never stored
      document.trailer.set("Info", ObjectId{6, 0});
      std::vector<std::set<ObjectId>> objects;
      for (XrefForm form : {first, second}) {
        document.xref_state.xref_form = form;
        const std::string file = saved(document);
        EXPECT_EQ(problems(document, file), std::vector<std::string>{});
        std::set<ObjectId> headers;
        for (const ObjectId& id : object_headers(file)) headers.insert(id);
        // The cross-reference stream is the file's own, not one of the document's objects.
        if (form == XrefForm::XrefStreamForm) headers.erase(ObjectId{document.highest_number, 0});
        objects.push_back(std::move(headers));
      }
      EXPECT_EQ(objects[0], (std::set<ObjectId>{{1, 0}, {2, 0}, {3, 0}, {6, 0}}));
      EXPECT_EQ(objects[1], objects[0]);
    }
  }
}

// Objects 1, 2, 3 and 5 stored, 4 and 6 reserved: one subsection 0 to 6 whose size is "Size".
TEST(SaveFaults, ATableWithUnusedNumbersAgreesWithItsSize) {
  Document document = one_page(XrefForm::XrefTableForm);
  reserve_id(document);
  append_object(document, literal_string("five"));
  reserve_id(document);
  const std::string file = saved(document);
  EXPECT_EQ(problems(document, file), std::vector<std::string>{});
  EXPECT_NE(file.find("xref\n0 7\n0000000004 65535 f \n"), std::string::npos) << file;
  EXPECT_NE(file.find("/Size 7>>"), std::string::npos) << file;
}

// A UTF-16 text string starts with a NUL byte after its byte order mark.
TEST(SaveFaults, AStringWithNulBytesKeepsThemAll) {
  for (XrefForm form : {XrefForm::XrefStreamForm, XrefForm::XrefTableForm}) {
    SCOPED_TRACE(form_name(form));
    Document document = one_page(form);
    const ObjectId info = append_object(
        document, Dictionary::from_pairs({{"Title", literal_string("\xFE\xFF\x00J\x00o")},
                                          {"Subject", hex_string("\x00\x00")}}));
    document.trailer.set("Info", info);
    ASSERT_EQ(document.object_table.at(info).dictionary()->get("Title")->string()->bytes.size(),
              6u);
    EXPECT_EQ(problems(document, saved(document)), std::vector<std::string>{});
  }
}

// Whole reals of 2^63 or more were once written as bare digits, which libqpdf refused as an
// integer out of range, losing the object that held them. They now read back as reals of the
// same value; those below keep the bytes they always had and read back as integers.
TEST(SaveFaults, LargeWholeRealsReadBackAsReals) {
  const std::vector<float> large = {9223372036854775808.0f, 1e19f, -1e30f, 3.4e38f,
                                    std::numeric_limits<float>::max()};
  const std::vector<std::pair<float, std::string>> below = {{9.2e18f, "9200000000000000000"},
                                                            {-9.2e18f, "-9200000000000000000"},
                                                            {16777216.0f, "16777216"},
                                                            {595.0f, "595"}};
  for (const bool packed : {false, true}) {
    SCOPED_TRACE(packed ? "in an object stream" : "at top level");
    Document document = one_page(XrefForm::XrefStreamForm);
    Array values;
    for (const float value : large) values.push_back(Object(value));
    for (const auto& [value, text] : below) values.push_back(Object(value));
    const ObjectId held = append_object(document, Object(std::move(values)));
    document.trailer.set("Info", Dictionary::from_pairs({{"Values", held}}));
    const SaveOptions options{.object_streams = packed};
    std::string file;
    CountingSink sink(file);
    ASSERT_TRUE(write_document(document, sink, options).ok());
    EXPECT_EQ(testing_support::round_trip_differences(document, file, options),
              std::vector<std::string>{});
    if (!packed) {
      for (const auto& [value, text] : below) {
        EXPECT_NE(file.find(" " + text + " "), std::string::npos) << text;
      }
    }
    const testing_support::ReadFile read = testing_support::read_with_qpdf(file);
    ASSERT_EQ(read.refusal, "");
    EXPECT_EQ(read.warnings, std::vector<std::string>{});
    const auto found = read.objects.find({static_cast<int>(held.number), 0});
    ASSERT_NE(found, read.objects.end());
    const testing_support::ReadValue& array = found->second;
    ASSERT_EQ(array.items.size(), large.size() + below.size());
    for (std::size_t i = 0; i < large.size(); ++i) {
      SCOPED_TRACE(array.items[i].text);
      EXPECT_EQ(array.items[i].kind, testing_support::ReadValue::Kind::Real);
      EXPECT_EQ(std::strtof(array.items[i].text.c_str(), nullptr), large[i]);
    }
    for (std::size_t i = 0; i < below.size(); ++i) {
      const testing_support::ReadValue& item = array.items[large.size() + i];
      EXPECT_EQ(item.kind, testing_support::ReadValue::Kind::Integer) << below[i].second;
      EXPECT_EQ(static_cast<float>(item.integer), below[i].first);
    }
  }
}

}  // namespace
}  // namespace vantril
