// Whole files: the golden files, both cross-reference forms, the document changes a save makes,
// failures at every append, and the 4 GiB offset limit.
#include "vantril/writer/save.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "bin/vantril/clean_document.hpp"
#include "vantril/model/document.hpp"
#include "writer_test_support.hpp"

#ifndef VANTRIL_TEST_DATA_DIR
#error "VANTRIL_TEST_DATA_DIR must name the directory of the golden files"
#endif

namespace vantril {
namespace {

using namespace std::string_literals;
using testing_support::ScriptedDestination;

std::string golden(std::string_view name) {
  return testing_support::read_file(std::filesystem::path(VANTRIL_TEST_DATA_DIR) / name);
}

std::string written(Document& document) {
  std::string out;
  CountingSink sink(out);
  const Status status = write_document(document, sink);
  EXPECT_TRUE(status.ok());
  EXPECT_EQ(sink.count, out.size());
  return out;
}

std::vector<std::string> keys(const Dictionary& dictionary) {
  std::vector<std::string> names;
  for (const DictionaryEntry& entry : dictionary.iter()) names.push_back(entry.key);
  return names;
}

std::string letters(std::size_t length) {
  std::string bytes;
  for (std::size_t i = 0; i < length; ++i) bytes.push_back(static_cast<char>('a' + i % 26));
  return bytes;
}

// The document of the two worked examples in tests/data (see make_golden.py there): objects 1,
// 2, 3 and 5 opening at 9, 60, 140 and 300, highest number 5, body ending at 420.
Document example_document(XrefForm form) {
  Document document = create_versioned("1.7");
  document.xref_state.xref_form = form;
  put_object(document, {1, 0},
             Dictionary::from_pairs({{"Type", Name("Catalog")},
                                     {"Pages", ObjectId{2, 0}},
                                     {"X", literal_string(letters(2))}}));
  put_object(document, {2, 0},
             Dictionary::from_pairs({{"Type", Name("Pages")},
                                     {"Kids", make_array(ObjectId{3, 0})},
                                     {"Count", 1},
                                     {"X", literal_string(letters(25))}}));
  put_object(document, {3, 0},
             Dictionary::from_pairs({{"Type", Name("Page")},
                                     {"Parent", ObjectId{2, 0}},
                                     {"MediaBox", make_array(0, 0, 595, 842)},
                                     {"X", literal_string(letters(91))}}));
  put_object(document, {5, 0}, literal_string(letters(102)));
  document.highest_number = 5;
  document.trailer.set("Root", ObjectId{1, 0});
  return document;
}

TEST(WriteDocument, CleanDocumentMatchesItsGoldenFile) {
  Document document = build_clean_document();
  const std::string expected = golden("clean.pdf");
  ASSERT_EQ(expected.size(), 583u);
  EXPECT_EQ(written(document), expected);
  EXPECT_EQ(document.highest_number, 7u);
  EXPECT_EQ(keys(document.trailer),
            (std::vector<std::string>{"Root", "Type", "Size", "W", "Index", "Length"}));
}

TEST(SaveToPath, WritesTheCleanDocumentToDiskAndHandsBackTheOpenFile) {
  const auto directory = testing_support::fresh_directory("SaveToPath");
  const auto path = directory / "clean.pdf";
  {
    // A longer file already there must not leave bytes behind.
    Document previous = build_clean_document();
    previous.object_table.emplace(ObjectId{9, 0}, literal_string(letters(5000)));
    ASSERT_TRUE(save_to_path(previous, path.string()).ok());
  }
  Document document = build_clean_document();
  Result<OutputFile> file = save_to_path(document, path.string());
  ASSERT_TRUE(file.ok());
  EXPECT_TRUE(file.value().is_open());
  EXPECT_EQ(testing_support::read_file(path), golden("clean.pdf"));

  Document unsaved = build_clean_document();
  const Result<OutputFile> refused =
      save_to_path(unsaved, (directory / "missing" / "clean.pdf").string());
  ASSERT_FALSE(refused.ok());
  EXPECT_EQ(unsaved.highest_number, 6u);
}

TEST(WriteDocument, WorkedExamplesOfBothFormsMatchTheirGoldenFiles) {
  Document table = example_document(XrefForm::XrefTableForm);
  EXPECT_EQ(written(table), golden("table_example.pdf"));
  EXPECT_EQ(table.highest_number, 5u);
  EXPECT_EQ(keys(table.trailer), (std::vector<std::string>{"Root", "Size"}));

  Document stream = example_document(XrefForm::XrefStreamForm);
  EXPECT_EQ(written(stream), golden("stream_example.pdf"));
  EXPECT_EQ(stream.highest_number, 6u);
  EXPECT_EQ(keys(stream.trailer),
            (std::vector<std::string>{"Root", "Type", "Size", "W", "Index", "Length"}));
}

TEST(WriteDocument, EmptyDocumentInBothForms) {
  Document table = create_versioned("1.7");
  table.xref_state.xref_form = XrefForm::XrefTableForm;
  EXPECT_EQ(written(table),
            "%PDF-1.7\nxref\n0 1\n0000000000 65535 f \ntrailer\n<</Size 1>>\n"
            "startxref\n9\n%%EOF");

  Document stream = create_versioned("1.7");
  EXPECT_EQ(written(stream),
            "%PDF-1.7\n1 0 obj\n<</Type/XRef/Size 2/W[1 4 2]/Index[1 1]/Length 7>>stream\n"
            "\x01\x00\x00\x00\x09\x00\x00\nendstream \nendobj\n\nstartxref\n9\n%%EOF"s);
  EXPECT_EQ(stream.highest_number, 1u);
  // A second save numbers its stream one higher and overwrites the entries in place.
  EXPECT_EQ(written(stream),
            "%PDF-1.7\n2 0 obj\n<</Type/XRef/Size 3/W[1 4 2]/Index[2 1]/Length 7>>stream\n"
            "\x01\x00\x00\x00\x09\x00\x00\nendstream \nendobj\n\nstartxref\n9\n%%EOF"s);
  EXPECT_EQ(keys(stream.trailer),
            (std::vector<std::string>{"Type", "Size", "W", "Index", "Length"}));
}

TEST(WriteDocument, VersionTextIsWrittenAsStored) {
  Document document = create_versioned("2.0 x");
  document.xref_state.xref_form = XrefForm::XrefTableForm;
  EXPECT_EQ(written(document).substr(0, 11), "%PDF-2.0 x\n");
}

// Objects whose own type says they describe another file's layout are left out, and their
// numbers are free entries like numbers never used: one subsection from 0 to the highest number,
// the free numbers linked in ascending order from object 0 and back to it. Expected offsets are
// running sums of the hand-written pieces below.
TEST(WriteDocument, TableFormIsOneSubsectionWithAFreeListAndLeavesOutLayoutObjects) {
  Document document = create_versioned("1.7");
  document.xref_state.xref_form = XrefForm::XrefTableForm;
  put_object(document, {1, 0}, 1);
  put_object(document, {2, 0}, Dictionary::from_pairs({{"Type", Name("XRef")}}));
  put_object(document, {3, 0},
             make_stream(Dictionary::from_pairs({{"Type", Name("ObjStm")}}), "x"));
  put_object(document, {4, 0}, Dictionary::from_pairs({{"Type", 5}, {"Linearized", 1}}));
  put_object(document, {5, 0}, Dictionary::from_pairs({{"Type", Name("Page")}, {"Linearized", 1}}));
  put_object(document, {6, 0}, Name("XRef"));
  put_object(document, {6, 1}, Null{});
  put_object(document, {8, 0}, Dictionary::from_pairs({{"Type", Name("Linearized")}}));
  put_object(document, {9, 0}, Dictionary::from_pairs({{"Type", Name("XRefs")}}));
  put_object(document, {10, 0}, true);
  document.highest_number = 9;  // set by hand below a stored number: 10 is listed all the same
  document.trailer.set("Size", 99);
  document.trailer.set("Root", ObjectId{5, 0});

  const std::vector<std::string> body = {
      "1 0 obj\n 1 \nendobj\n",
      "5 0 obj\n<</Type/Page/Linearized 1>>\nendobj\n",
      "6 0 obj\n/XRef \nendobj\n",
      "6 1 obj\n null \nendobj\n",
      "9 0 obj\n<</Type/XRefs>>\nendobj\n",
      "10 0 obj\n true \nendobj\n",
  };
  std::vector<std::size_t> offsets;
  std::string expected = "%PDF-1.7\n";
  for (const std::string& piece : body) {
    offsets.push_back(expected.size());
    expected += piece;
  }
  auto row = [](std::size_t offset, const char* generation) {
    std::string digits = std::to_string(offset);
    return std::string(10 - digits.size(), '0') + digits + " " + generation + " n \n";
  };
  auto free = [](const char* next) { return std::string(next) + " 00000 f \n"; };
  const std::size_t xref = expected.size();
  expected += "xref\n0 11\n0000000002 65535 f \n" + row(offsets[0], "00000") + free("0000000003") +
              free("0000000004") + free("0000000007") + row(offsets[1], "00000") +
              row(offsets[3], "00001") + free("0000000008") + free("0000000000") +
              row(offsets[4], "00000") + row(offsets[5], "00000") +
              "trailer\n<</Size 11/Root 5 0 R>>\nstartxref\n" + std::to_string(xref) + "\n%%EOF";
  EXPECT_EQ(written(document), expected);
}

TEST(WriteDocument, TableFormWithEveryNumberPresentHasOneSubsection) {
  Document document = create_versioned("1.7");
  document.xref_state.xref_form = XrefForm::XrefTableForm;
  for (int i = 0; i < 3; ++i) append_object(document, Null{});  // 22 bytes each
  const std::string out = written(document);
  EXPECT_NE(out.find("xref\n0 4\n0000000000 65535 f \n0000000009 00000 n \n"
                     "0000000031 00000 n \n0000000053 00000 n \ntrailer\n<</Size 4>>"),
            std::string::npos)
      << out;
}

TEST(WriteDocument, TableFormWithoutObjectOneListsItAsTheOnlyFreeNumber) {
  Document document = create_versioned("1.7");
  document.xref_state.xref_form = XrefForm::XrefTableForm;
  put_object(document, {2, 0}, 7);
  EXPECT_EQ(written(document),
            "%PDF-1.7\n2 0 obj\n 7 \nendobj\nxref\n0 3\n0000000001 65535 f \n"
            "0000000000 00000 f \n0000000009 00000 n \ntrailer\n<</Size 3>>\nstartxref\n28\n"
            "%%EOF");
}

std::string entry(std::uint32_t offset, std::uint16_t generation = 0) {
  return std::string{'\x01',
                     static_cast<char>(offset >> 24),
                     static_cast<char>(offset >> 16),
                     static_cast<char>(offset >> 8),
                     static_cast<char>(offset),
                     static_cast<char>(generation >> 8),
                     static_cast<char>(generation)};
}

// Objects stored above a highest_number set by hand keep their numbers and entries: the stream
// takes the number above all of them. The trailer's "Filter" goes by swap removal.
TEST(WriteDocument, StreamFormNumbersItsStreamAboveEveryStoredObject) {
  Document document = create_versioned("1.7");
  put_object(document, {1, 0}, 1);
  put_object(document, {2, 3}, 2);
  put_object(document, {3, 0}, 3);
  put_object(document, {4, 0}, 4);
  document.highest_number = 2;  // by hand, below objects 3 and 4
  document.trailer.set("Root", ObjectId{1, 0});
  document.trailer.set("Filter", Name("FlateDecode"));
  document.trailer.set("Info", ObjectId{2, 3});

  // Each object is 19 bytes: offsets 9, 28, 47, 66; the stream at 85.
  const std::string content = entry(9) + entry(28, 3) + entry(47) + entry(66) + entry(85);
  const std::string expected =
      "%PDF-1.7\n1 0 obj\n 1 \nendobj\n2 3 obj\n 2 \nendobj\n3 0 obj\n 3 \nendobj\n"
      "4 0 obj\n 4 \nendobj\n5 0 obj\n<</Root 1 0 R/Index[1 5]/Info 2 3 R/Type/XRef/Size 6"
      "/W[1 4 2]/Length 35>>stream\n" +
      content + "\nendstream \nendobj\n\nstartxref\n85\n%%EOF";
  EXPECT_EQ(written(document), expected);
  EXPECT_EQ(document.highest_number, 5u);
  EXPECT_EQ(keys(document.trailer),
            (std::vector<std::string>{"Root", "Index", "Info", "Type", "Size", "W", "Length"}));
}

TEST(WriteDocument, StreamFormKeepsExistingTrailerEntriesInPlaceWithNewValues) {
  Document document = create_versioned("1.7");
  document.trailer.set("Length", 0);
  document.trailer.set("W", Null{});
  document.trailer.set("Root", ObjectId{1, 0});
  document.trailer.set("Index", 0);
  document.trailer.set("Size", 0);
  document.trailer.set("Type", Name("Other"));
  put_object(document, {1, 0}, Dictionary());
  document.highest_number = 1;
  put_object(document, {3, 0}, Dictionary());
  // "N 0 obj\n<<>>\nendobj\n" is 20 bytes: objects at 9 and 29, the stream at 49.
  const std::string out = written(document);
  EXPECT_NE(
      out.find("4 0 obj\n<</Length 21/W[1 4 2]/Root 1 0 R/Index[1 1 3 2]/Size 5/Type/XRef>>"
               "stream\n" +
               entry(9) + entry(29) + entry(49) + "\nendstream \nendobj\n\nstartxref\n49\n%%EOF"),
      std::string::npos)
      << out;
  EXPECT_NE(out.find("3 0 obj\n<<>>\nendobj\n"), std::string::npos);
}

// The stream form with gaps: runs 1-2, 4, 6-7 (7 being the stream), shown in "Index". Objects
// are 19 bytes each: 9, 28, 47, 66; the stream at 85.
TEST(WriteDocument, StreamFormIndexNamesEveryRun) {
  Document document = create_versioned("1.7");
  for (std::uint32_t number : {1u, 2u, 4u, 6u}) put_object(document, {number, 0}, 0);
  put_object(document, {5, 0}, Dictionary::from_pairs({{"Type", Name("ObjStm")}}));
  document.highest_number = 6;
  const std::string out = written(document);
  EXPECT_NE(out.find("7 0 obj\n<</Type/XRef/Size 8/W[1 4 2]/Index[1 2 4 1 6 2]/Length 35>>"
                     "stream\n" +
                     entry(9) + entry(28) + entry(47) + entry(66) + entry(85) + "\nendstream"),
            std::string::npos)
      << out;
}

// Every append of a save, failed in turn: the error comes back unchanged, nothing follows it, and
// the document is changed only once the cross-reference section has begun.
TEST(WriteDocument, TheFirstFailingAppendEndsTheSaveAtOnce) {
  for (XrefForm form : {XrefForm::XrefStreamForm, XrefForm::XrefTableForm}) {
    SCOPED_TRACE(form == XrefForm::XrefStreamForm ? "stream form" : "table form");
    std::string full;
    std::size_t total_appends = 0;
    {
      Document document = build_clean_document();
      document.xref_state.xref_form = form;
      full = written(document);
      Document counted = build_clean_document();
      counted.xref_state.xref_form = form;
      ScriptedDestination counter;
      CountingSink sink(counter.destination());
      ASSERT_TRUE(write_document(counted, sink).ok());
      ASSERT_EQ(counter.received, full);
      total_appends = counter.appends;
    }
    for (std::size_t n = 1; n <= total_appends; ++n) {
      SCOPED_TRACE("failing append " + std::to_string(n));
      Document document = build_clean_document();
      document.xref_state.xref_form = form;
      const std::string received = testing_support::save_failing_at(document, n, full);
      if (received.size() < 418) {
        EXPECT_EQ(document.highest_number, 6u);
        EXPECT_EQ(document.trailer.len(), 1u);
      }
    }
  }
}

TEST(WriteDocument, RefusesOffsetsBeyond32BitsBeforeWritingAWrongEntry) {
  constexpr std::uint64_t limit = 0x100000000u;
  const std::size_t body_end = 418;  // of the clean document, from its golden file

  // Object 1 opens at 2^32 - 1, the last offset that fits; object 2 would open past it.
  {
    Document document = build_clean_document();
    ScriptedDestination destination;
    CountingSink sink(destination.destination());
    sink.count = limit - 1 - 9;
    const Status status = write_document(document, sink);
    ASSERT_FALSE(status.ok());
    EXPECT_EQ(kind_of(status.error()), IoErrorKind::FileTooLarge);
    EXPECT_EQ(destination.received, golden("clean.pdf").substr(0, 60));
  }
  // The whole body fits; the cross-reference section would open at exactly 2^32.
  for (XrefForm form : {XrefForm::XrefStreamForm, XrefForm::XrefTableForm}) {
    Document document = build_clean_document();
    document.xref_state.xref_form = form;
    ScriptedDestination destination;
    destination.discard = true;
    CountingSink sink(destination.destination());
    sink.count = limit - body_end;
    const Status status = write_document(document, sink);
    ASSERT_FALSE(status.ok());
    EXPECT_EQ(kind_of(status.error()), IoErrorKind::FileTooLarge);
    EXPECT_EQ(sink.count, limit);
    EXPECT_EQ(document.highest_number, 6u);
    EXPECT_EQ(document.trailer.len(), 1u);
  }
  // One byte less and everything fits.
  {
    Document document = build_clean_document();
    ScriptedDestination destination;
    CountingSink sink(destination.destination());
    sink.count = limit - body_end - 1;
    ASSERT_TRUE(write_document(document, sink).ok());
    EXPECT_NE(destination.received.find("\nstartxref\n4294967295\n%%EOF"), std::string::npos);
  }
}

// A stream nested in an object or in the trailer ends the save with InvalidInput when the writer
// reaches it, in both forms; what was written before it stays in the file.
TEST(SaveToPath, AStreamOutsideItsOwnObjectFailsTheSaveAndNamesItsHolder) {
  const auto directory = testing_support::fresh_directory("MisplacedStream");
  const std::string tail = " holds a stream inside ";
  for (XrefForm form : {XrefForm::XrefStreamForm, XrefForm::XrefTableForm}) {
    SCOPED_TRACE(form == XrefForm::XrefStreamForm ? "stream form" : "table form");
    {
      Document document = build_clean_document();
      document.xref_state.xref_form = form;
      put_object(
          document, {12, 0},
          Dictionary::from_pairs({{"Kids", make_array(Dictionary::from_pairs(
                                               {{"S", make_stream(Dictionary(), "nested")}}))}}));
      const auto path = directory / "object.pdf";
      const Result<OutputFile> file = save_to_path(document, path.string());
      ASSERT_FALSE(file.ok());
      EXPECT_EQ(kind_of(file.error()), IoErrorKind::InvalidInput);
      EXPECT_EQ(display_form(file.error()),
                "object 12 0" + tail + "a dictionary; a stream must be an indirect object");
      // The clean document's six objects, then object 12 up to the stream.
      EXPECT_EQ(testing_support::read_file(path),
                golden("clean.pdf").substr(0, 418) + "12 0 obj\n<</Kids[<</S");
      EXPECT_EQ(document.highest_number, 12u);  // failed in the body: unchanged
    }
    Document document = build_clean_document();
    document.xref_state.xref_form = form;
    document.trailer.set("Info", make_array(make_stream(Dictionary(), "nested")));
    const Result<OutputFile> file = save_to_path(document, (directory / "trailer.pdf").string());
    ASSERT_FALSE(file.ok());
    EXPECT_EQ(kind_of(file.error()), IoErrorKind::InvalidInput);
    EXPECT_EQ(display_form(file.error()),
              "the trailer" + tail + "an array; a stream must be an indirect object");
  }
}

// Number 0 heads the free list, so no section could list an object stored there.
TEST(WriteDocument, AnObjectUnderNumberZeroIsRefusedBeforeAnyByte) {
  for (XrefForm form : {XrefForm::XrefStreamForm, XrefForm::XrefTableForm}) {
    Document document = build_clean_document();
    document.xref_state.xref_form = form;
    put_object(document, {0, 0}, Null{});
    std::string out;
    CountingSink sink(out);
    const Status status = write_document(document, sink);
    ASSERT_FALSE(status.ok());
    EXPECT_EQ(kind_of(status.error()), IoErrorKind::InvalidInput);
    EXPECT_EQ(out, "");
    EXPECT_EQ(document.highest_number, 6u);
  }
}

// The trailer a table save writes after a stream save holds none of the stream's keys, and "Size"
// follows the table, which now runs to the stream's number (free: the stream was that file's).
TEST(WriteDocument, ASecondSaveWritesTheTrailerOfItsOwnForm) {
  Document document = create_versioned("1.7");
  append_object(document, Dictionary());  // "1 0 obj\n<<>>\nendobj\n": 20 bytes
  document.trailer.set("Root", ObjectId{1, 0});
  document.trailer.set("DecodeParms", Dictionary::from_pairs({{"Columns", 5}}));
  document.trailer.set("Prev", 12345);
  // "DecodeParms" and "Prev" go by swap removal, as "Filter" does.
  const std::string streamed = written(document);
  EXPECT_NE(streamed.find("<</Root 1 0 R/Index[1 2]/W[1 4 2]/Type/XRef/Size 3/Length 14>>"),
            std::string::npos)
      << streamed;
  document.xref_state.xref_form = XrefForm::XrefTableForm;
  EXPECT_EQ(written(document),
            "%PDF-1.7\n1 0 obj\n<<>>\nendobj\nxref\n0 3\n0000000002 65535 f \n"
            "0000000009 00000 n \n0000000000 00000 f \ntrailer\n<</Root 1 0 R/Size 3>>\n"
            "startxref\n29\n%%EOF");
  EXPECT_EQ(keys(document.trailer), (std::vector<std::string>{"Root", "Size"}));
  // And back: the next stream takes the next number.
  document.xref_state.xref_form = XrefForm::XrefStreamForm;
  EXPECT_NE(written(document).find("3 0 obj\n<</Root 1 0 R/Size 4/Type/XRef/W[1 4 2]/Index[1 1 3 "
                                   "1]/Length 14>>"),
            std::string::npos);
}

// A deep copy saves to the same bytes, and changing either afterwards leaves the other alone.
TEST(WriteDocument, ACloneSavesToTheSameBytesAndSharesNothing) {
  Document original = build_clean_document();
  original.xref_state.xref_form = XrefForm::XrefTableForm;
  put_object(original, {9, 2}, make_stream(Dictionary(), letters(40)));
  Document copy = clone(original);
  const std::string expected = written(original);
  EXPECT_EQ(written(copy), expected);

  copy.object_table.at({9, 2}).stream()->data = Bytes(std::string("changed"));
  copy.trailer.set("Root", ObjectId{5, 0});
  append_object(copy, Null{});
  EXPECT_EQ(written(original), expected);
}

class SaveFailure : public testing_support::ScriptedWriteTest {};

// The file keeps what reached it before the failure, plus what the released writer's one last
// flush could still write.
TEST_F(SaveFailure, AFailedSaveKeepsTheBytesThatReachedTheFile) {
  Document document = build_clean_document();
  for (int i = 0; i < 80; ++i) append_object(document, literal_string(letters(500)));
  Document copy = build_clean_document();
  for (int i = 0; i < 80; ++i) append_object(copy, literal_string(letters(500)));
  const std::string full = written(copy);
  ASSERT_GT(full.size(), 3 * BufferedFileWriter::capacity);

  writes().replies = {testing_support::WriteReply{},
                      testing_support::WriteReply{0, true, testing_support::scripted_error()}};
  const auto directory = testing_support::fresh_directory("AFailedSave");
  const Result<OutputFile> file = save_to_path(document, (directory / "clean.pdf").string());
  ASSERT_FALSE(file.ok());
  EXPECT_TRUE(testing_support::is_scripted(file.error()));
  // First flush taken, second refused, then the release's flush sends those same bytes again.
  ASSERT_EQ(writes().offered.size(), 3u);
  EXPECT_EQ(writes().offered[2], writes().offered[1]);
  EXPECT_EQ(writes().accepted, full.substr(0, writes().accepted.size()));
  EXPECT_EQ(writes().accepted.size(), writes().offered[0].size() + writes().offered[1].size());
  EXPECT_EQ(document.highest_number, 86u);  // failed in the body: unchanged
}

}  // namespace
}  // namespace vantril
