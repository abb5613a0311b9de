// Damaged and hostile inputs: each is read with the damage repaired and reported (and the same
// objects as the sound file), or refused with InvalidData; strict reading refuses every one that
// needs a repair; limits are enforced; nothing crashes or hangs on any truncation.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

#include "reader/reader_test_support.hpp"
#include "support/files.hpp"
#include "vantril/reader.hpp"
#include "vantril/writer.hpp"

namespace vantril {
namespace {

using testing_support::expect_same_objects;

Document sound_document() {
  Document document = create_versioned("1.6");
  document.xref_state.xref_form = XrefForm::XrefTableForm;
  put_object(document, {1, 0},
             Dictionary::from_pairs({{"Type", Name("Catalog")}, {"Pages", ObjectId{2, 0}}}));
  put_object(document, {2, 0},
             Dictionary::from_pairs(
                 {{"Type", Name("Pages")}, {"Kids", make_array(ObjectId{3, 0})}, {"Count", 1}}));
  put_object(document, {3, 0},
             Dictionary::from_pairs({{"Type", Name("Page")},
                                     {"Parent", ObjectId{2, 0}},
                                     {"Contents", ObjectId{4, 0}},
                                     {"Nested", make_array(make_array(make_array(1, 2)))}}));
  put_object(document, {4, 0},
             make_stream(Dictionary(), Bytes("BT /F1 12 Tf (endstream inside) Tj ET")));
  put_object(document, {6, 0}, Dictionary::from_pairs({{"Producer", literal_string("test")}}));
  document.trailer.set("Root", ObjectId{1, 0});
  document.trailer.set("Info", ObjectId{6, 0});
  return document;
}

std::string saved(Document& document, const SaveOptions& options = {}) {
  std::string file;
  CountingSink sink(file);
  EXPECT_TRUE(write_document(document, sink, options).ok());
  return file;
}

std::string replaced(std::string file, std::string_view from, std::string_view to) {
  const std::size_t at = file.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) file.replace(at, from.size(), to);
  return file;
}

std::size_t startxref_value(const std::string& file) {
  const std::size_t at = file.rfind("startxref");
  return std::stoul(file.substr(at + 9));
}

// The sound file with a second section whose /Prev leads back to itself through the first.
std::string with_prev_loop(const std::string& file) {
  const std::string old_trailer_end = "/Size 7>>";
  const std::size_t original_xref = startxref_value(file);
  // The appended section starts after the first file, lengthened by the "/Prev N" put into its
  // trailer; N has as many digits as the offset it names.
  std::string looped;
  std::size_t appended_at = file.size() + 12;
  for (int round = 0; round < 3; ++round) {
    looped = replaced(file, old_trailer_end, "/Size 7/Prev " + std::to_string(appended_at) + ">>");
    appended_at = looped.size() + 1;
  }
  looped += "\nxref\n0 1\n0000000000 65535 f \ntrailer\n<</Size 7/Root 1 0 R/Info 6 0 R/Prev " +
            std::to_string(original_xref) + ">>\nstartxref\n" + std::to_string(appended_at) +
            "\n%%EOF";
  return looped;
}

enum class Outcome { Clean, Repaired, Refused };

TEST(ReaderDamage, EachDamageIsRepairedAndReportedOrRefused) {
  Document document = sound_document();
  const std::string sound = saved(document);
  const std::size_t xref = startxref_value(sound);
  struct Case {
    const char* what;
    std::string bytes;
    Outcome outcome;
  };
  const Case cases[] = {
      {"the sound file", sound, Outcome::Clean},
      {"bytes before the header", "garbage\r\n\x01\x02" + sound, Outcome::Clean},
      {"bytes after %%EOF", sound + "\n\n\x00junk", Outcome::Clean},
      {"the word startxref in bytes after %%EOF",
       sound + "\n% " + std::string(2000, '-') + " no startxref here\n", Outcome::Clean},
      {"a wrong startxref",
       replaced(sound, "startxref\n" + std::to_string(xref),
                "startxref\n" + std::to_string(xref - 40)),
       Outcome::Repaired},
      {"startxref past the end",
       replaced(sound, "startxref\n" + std::to_string(xref), "startxref\n99999999"),
       Outcome::Repaired},
      {"no startxref", sound.substr(0, sound.rfind("startxref")) + "%%EOF", Outcome::Repaired},
      {"the cross-reference table removed",
       sound.substr(0, xref) + sound.substr(sound.find("trailer")), Outcome::Repaired},
      {"every offset shifted", replaced(sound, "%PDF-1.6\n", "%PDF-1.6\n       "),
       Outcome::Repaired},
      {"a wrong /Length", replaced(sound, "/Length 37", "/Length 30"), Outcome::Repaired},
      {"a /Length past the end", replaced(sound, "/Length 37", "/Length 99999999"),
       Outcome::Repaired},
      {"an indirect /Length that loops", replaced(sound, "/Length 37", "/Length 4 0 R"),
       Outcome::Repaired},
      {"a /Prev loop", with_prev_loop(sound), Outcome::Repaired},
      {"an out-of-range /Size", replaced(sound, "/Size 7", "/Size 2147483648"), Outcome::Repaired},
      {"a negative /Size", replaced(sound, "/Size 7", "/Size -7"), Outcome::Repaired},
      {"an entry pointing at another object",
       replaced(sound, "0000000009 00000 n", "0000000055 00000 n"), Outcome::Repaired},
      {"no %PDF- header", sound.substr(1), Outcome::Refused},
      {"no bytes at all", "", Outcome::Refused},
      {"a header and nothing else", "%PDF-1.7\n", Outcome::Repaired},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Result<ReadFile> strict = read_pdf_bytes(c.bytes, {.strict = true, .limits = {}});
    Result<ReadFile> lenient = read_pdf_bytes(c.bytes);
    switch (c.outcome) {
      case Outcome::Clean:
        ASSERT_TRUE(strict.ok()) << display_form(strict.error());
        EXPECT_TRUE(strict.value().structure.repairs.empty());
        expect_same_objects(document, strict.value().document);
        break;
      case Outcome::Repaired:
        ASSERT_FALSE(strict.ok());
        EXPECT_EQ(kind_of(strict.error()), IoErrorKind::InvalidData);
        EXPECT_NE(display_form(strict.error()).find("strict"), std::string::npos);
        ASSERT_TRUE(lenient.ok()) << display_form(lenient.error());
        EXPECT_FALSE(lenient.value().structure.repairs.empty());
        if (c.bytes.size() > 100) {
          expect_same_objects(document, lenient.value().document, false);
        }
        break;
      case Outcome::Refused:
        ASSERT_FALSE(lenient.ok());
        EXPECT_EQ(kind_of(lenient.error()), IoErrorKind::InvalidData);
        EXPECT_FALSE(strict.ok());
        break;
    }
  }
}

// An object that cannot be parsed is left out with one repair at its place, by the whole read
// and by the lazy reader alike (loaded twice, still one repair); inside an object stream the
// place is the object stream's. The damage keeps every length and offset. Strict reading refuses
// both.
TEST(ReaderDamage, AnUnreadableObjectIsLeftOutWithOneRepairAtItsPlace) {
  Document document = sound_document();
  const std::string body_file = replaced(saved(document), "/Producer", "7/Produce");
  document.xref_state.xref_form = XrefForm::XrefStreamForm;
  const std::string packed_file = replaced(
      saved(document, {.object_streams = true, .objects_per_stream = 8}), "/Producer", "7/Produce");
  for (const std::string& file : {body_file, packed_file}) {
    Result<ReadFile> whole = read_pdf_bytes(file);
    ASSERT_TRUE(whole.ok()) << display_form(whole.error());
    const FileStructure& structure = whole.value().structure;
    EXPECT_EQ(whole.value().document.object_table.count({6, 0}), 0u);
    ASSERT_EQ(structure.repairs.size(), 1u);
    const Repair& repair = structure.repairs[0];
    EXPECT_NE(repair.description.find("object 6 cannot be read"), std::string::npos)
        << repair.description;
    ASSERT_NE(find_slot(structure, 6), nullptr);
    const FileSlot slot = *find_slot(structure, 6);
    const FileSlot* stream = find_slot(structure, slot.object_stream());
    ASSERT_TRUE(slot.kind == XrefSlotKind::InUse || stream != nullptr);
    const std::uint64_t place = slot.kind == XrefSlotKind::InUse ? slot.offset() : stream->offset();
    const std::uint32_t holder = slot.kind == XrefSlotKind::InUse ? 6 : slot.object_stream();
    const std::string header = std::to_string(holder) + " 0 obj";
    EXPECT_EQ(file.substr(place, header.size()), header);
    EXPECT_EQ(repair.offset, place);

    Result<LazyReader> lazy = LazyReader::over_bytes(file);
    ASSERT_TRUE(lazy.ok()) << display_form(lazy.error());
    for (int round = 0; round < 2; ++round) {
      Result<Object> loaded = lazy.value().load({6, 0});
      ASSERT_TRUE(loaded.ok()) << display_form(loaded.error());
      EXPECT_EQ(loaded.value().kind(), ObjectKind::Null);
    }
    ASSERT_EQ(lazy.value().structure().repairs.size(), 1u);
    EXPECT_EQ(lazy.value().structure().repairs[0].offset, place);
    EXPECT_EQ(lazy.value().structure().repairs[0].description, repair.description);

    EXPECT_FALSE(read_pdf_bytes(file, {.strict = true, .limits = {}}).ok());
    Result<LazyReader> strict = LazyReader::over_bytes(file, {.strict = true, .limits = {}});
    ASSERT_TRUE(strict.ok()) << display_form(strict.error());
    for (int round = 0; round < 2; ++round) {
      Result<Object> refused = strict.value().load({6, 0});
      ASSERT_FALSE(refused.ok());
      EXPECT_EQ(kind_of(refused.error()), IoErrorKind::InvalidData);
    }
  }
}

TEST(ReaderDamage, HeaderOffsetAndTailAreReported) {
  Document document = sound_document();
  const std::string file = "junk\n" + saved(document) + "\r\ntrailing";
  Result<ReadFile> read = read_pdf_bytes(file);
  ASSERT_TRUE(read.ok()) << display_form(read.error());
  EXPECT_EQ(read.value().structure.header_offset, 5u);
  EXPECT_EQ(read.value().structure.header_version, "1.6");
  EXPECT_EQ(read.value().structure.bytes_after_last_eof, 8u);
  EXPECT_EQ(read.value().structure.file_length, file.size());
  // Offsets count from the header: the stream's data is where the file without the junk has it.
  const Stream* stream = read.value().document.object_table.at({4, 0}).stream();
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(file.substr(5 + *stream->source_offset, 5), "BT /F");
}

// Cut anywhere, the file is refused under strict reading, and read or refused without a crash
// or a hang otherwise; in both table and stream forms.
TEST(ReaderDamage, EveryTruncationIsRefusedStrictly) {
  for (XrefForm form : {XrefForm::XrefTableForm, XrefForm::XrefStreamForm}) {
    Document document = sound_document();
    document.xref_state.xref_form = form;
    const std::string file = saved(document);
    for (std::size_t length = 0; length < file.size(); length += 3) {
      SCOPED_TRACE("cut at " + std::to_string(length));
      const std::string cut = file.substr(0, length);
      EXPECT_FALSE(read_pdf_bytes(cut, {.strict = true, .limits = {}}).ok());
      Result<ReadFile> lenient = read_pdf_bytes(cut);
      if (lenient.ok()) {
        EXPECT_FALSE(lenient.value().structure.repairs.empty());
      }
    }
  }
}

// Entries with every end of line, and with a bad one, read as a table should be read: strictly.
TEST(ReaderDamage, TableEntriesWithAnyEndOfLineRead) {
  Document document = sound_document();
  const std::string sound = saved(document);
  for (std::string_view end : {" \n", "\r\n", " \r", "\n", "  \r\n"}) {
    std::string file = sound;
    for (std::size_t at = file.find(" n \n"); at != std::string::npos;
         at = file.find(" n \n", at + 1)) {
      file.replace(at + 2, 2, end);
    }
    for (std::size_t at = file.find(" f \n"); at != std::string::npos;
         at = file.find(" f \n", at + 1)) {
      file.replace(at + 2, 2, end);
    }
    Result<ReadFile> read = read_pdf_bytes(file, {.strict = true, .limits = {}});
    ASSERT_TRUE(read.ok()) << display_form(read.error());
    expect_same_objects(document, read.value().document);
  }
}

TEST(ReaderDamage, LimitsAreEnforced) {
  Document document = sound_document();
  const std::string file = saved(document);
  struct Case {
    const char* what;
    ReadLimits limits;
    std::string_view message;
  };
  const Case cases[] = {
      {"nesting", {.max_depth = 2}, "deep"},
      {"object numbers", {.max_object_number = 3}, "highest number allowed"},
      {"objects", {.max_objects = 2}, "limit"},
      {"stream length", {.max_stream_length = 10}, "limit"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Result<ReadFile> read = read_pdf_bytes(file, {.strict = false, .limits = c.limits});
    ASSERT_FALSE(read.ok());
    EXPECT_EQ(kind_of(read.error()), IoErrorKind::InvalidData);
    EXPECT_NE(display_form(read.error()).find(c.message), std::string::npos)
        << display_form(read.error());
  }
  // Layout streams decoded beyond max_decoded_size: refused, not expanded.
  if (compression_available()) {
    Document packed = sound_document();
    packed.xref_state.xref_form = XrefForm::XrefStreamForm;
    const std::string compact =
        saved(packed, {.compression_level = 6, .object_streams = true, .objects_per_stream = 100});
    Result<ReadFile> bomb =
        read_pdf_bytes(compact, {.strict = false, .limits = {.max_decoded_size = 16}});
    ASSERT_FALSE(bomb.ok());
    EXPECT_NE(display_form(bomb.error()).find("exceed the limit"), std::string::npos)
        << display_form(bomb.error());
  }
  // A file with more sections than max_revisions.
  std::string chained = file;
  std::size_t previous = startxref_value(file);
  for (int i = 0; i < 5; ++i) {
    const std::size_t at = chained.size() + 1;
    chained += "\nxref\n0 1\n0000000000 65535 f \ntrailer\n<</Size 7/Root 1 0 R/Prev " +
               std::to_string(previous) + ">>\nstartxref\n" + std::to_string(at) + "\n%%EOF";
    previous = at;
  }
  ASSERT_TRUE(read_pdf_bytes(chained, {.strict = true, .limits = {}}).ok());
  Result<ReadFile> too_many =
      read_pdf_bytes(chained, {.strict = false, .limits = {.max_revisions = 3}});
  ASSERT_FALSE(too_many.ok());
  EXPECT_NE(display_form(too_many.error()).find("sections"), std::string::npos);
}

// A table whose trailer names a cross-reference stream: the stream's entries count, and the
// section is one revision of the table form with the stream's offset.
TEST(ReaderStructure, HybridSectionsReadTheirStreamEntries) {
  Document document = sound_document();
  document.xref_state.xref_form = XrefForm::XrefStreamForm;
  const std::string stream_file =
      saved(document, {.object_streams = true, .objects_per_stream = 2});
  const std::size_t stream_at = startxref_value(stream_file);
  std::string file = stream_file.substr(0, stream_file.rfind("startxref"));
  const std::size_t table_at = file.size();
  file += "xref\n0 1\n0000000000 65535 f \ntrailer\n<</Size " +
          std::to_string(document.highest_number + 1) + "/Root 1 0 R/Info 6 0 R/XRefStm " +
          std::to_string(stream_at) + ">>\nstartxref\n" + std::to_string(table_at) + "\n%%EOF";
  Result<ReadFile> read = read_pdf_bytes(file, {.strict = true, .limits = {}});
  ASSERT_TRUE(read.ok()) << display_form(read.error());
  const FileStructure& structure = read.value().structure;
  ASSERT_EQ(structure.revisions.size(), 1u);
  EXPECT_EQ(structure.revisions[0].form, XrefForm::XrefTableForm);
  EXPECT_EQ(structure.revisions[0].xref_stream_offset, std::optional<std::uint64_t>(stream_at));
  EXPECT_FALSE(structure.layout_objects.empty());
  expect_same_objects(document, read.value().document);
}

// A later revision may give the number of an older cross-reference stream to an object of its
// own: that object is the document's, and no longer the file's layout.
TEST(ReaderStructure, AnXrefStreamsNumberTakenByALaterObjectIsTheDocuments) {
  Document document = sound_document();
  document.xref_state.xref_form = XrefForm::XrefStreamForm;
  const std::string stream_file = saved(document);
  Result<ReadFile> first = read_pdf_bytes(stream_file, {.strict = true, .limits = {}});
  ASSERT_TRUE(first.ok()) << display_form(first.error());
  ASSERT_EQ(first.value().structure.layout_objects.size(), 1u);
  const std::uint32_t number = first.value().structure.layout_objects[0].number;

  std::string file = stream_file;
  const std::size_t object_at = file.size();
  file += std::to_string(number) + " 0 obj\n<</Kept true>>\nendobj\n";
  const std::size_t table_at = file.size();
  std::string offset = std::to_string(object_at);
  offset.insert(0, 10 - offset.size(), '0');
  file += "xref\n0 1\n0000000000 65535 f \n" + std::to_string(number) + " 1\n" + offset +
          " 00000 n \ntrailer\n<</Size " + std::to_string(number + 1) +
          "/Root 1 0 R/Info 6 0 R/Prev " + std::to_string(startxref_value(stream_file)) +
          ">>\nstartxref\n" + std::to_string(table_at) + "\n%%EOF\n";
  Result<ReadFile> read = read_pdf_bytes(file, {.strict = true, .limits = {}});
  ASSERT_TRUE(read.ok()) << display_form(read.error());
  EXPECT_TRUE(read.value().structure.layout_objects.empty());
  const auto kept = read.value().document.object_table.find(ObjectId{number, 0});
  ASSERT_NE(kept, read.value().document.object_table.end());
  EXPECT_EQ(testing_support::text_of(kept->second), "<</Kept true>>");

  Result<LazyReader> lazy = LazyReader::over_bytes(file, {.strict = true, .limits = {}});
  ASSERT_TRUE(lazy.ok()) << display_form(lazy.error());
  const std::vector<ObjectId> ids = lazy.value().object_ids();
  EXPECT_NE(std::find(ids.begin(), ids.end(), ObjectId{number, 0}), ids.end());
}

// The slots report offsets as the file gives them, in full: one past 4 GiB stays what it is.
TEST(ReaderStructure, SlotsKeepOffsetsPastFourGibibytes) {
  Document document = sound_document();
  std::string file = saved(document);
  const std::size_t entry = file.find(" 00000 n", file.rfind("\nxref\n")) - 10;
  const std::uint64_t first_offset = std::stoull(file.substr(entry, 10));
  file.replace(entry, 10, "5000000000");
  Result<ReadFile> read = read_pdf_bytes(file);
  ASSERT_TRUE(read.ok()) << display_form(read.error());
  bool found = false;
  for (const FileSlot& slot : read.value().structure.slots) {
    if (slot.kind == XrefSlotKind::InUse && slot.offset() == 5'000'000'000u) found = true;
    EXPECT_NE(slot.offset(), first_offset);
  }
  EXPECT_TRUE(found);
  // The object is mended from a scan of the file, and reported.
  EXPECT_FALSE(read.value().structure.repairs.empty());
  expect_same_objects(document, read.value().document, false);
}

TEST(ReaderStructure, EncryptedFilesAreRecognisedAndRefused) {
  if (std::system("qpdf --version > /dev/null 2>&1") != 0) GTEST_SKIP() << "no qpdf";
  const std::filesystem::path directory = testing_support::fresh_directory("reader-encrypted");
  Document document = sound_document();
  const std::string plain = (directory / "plain.pdf").string();
  const std::string encrypted = (directory / "encrypted.pdf").string();
  ASSERT_TRUE(save_to_path(document, plain).ok());
  const std::string command = "qpdf --encrypt u o 256 -- '" + plain + "' '" + encrypted + "'";
  ASSERT_EQ(std::system(command.c_str()), 0);
  Result<ReadFile> read = read_pdf_file(encrypted);
  ASSERT_FALSE(read.ok());
  EXPECT_EQ(kind_of(read.error()), IoErrorKind::Unsupported);
  EXPECT_NE(display_form(read.error()).find("Standard security handler, revision 6"),
            std::string::npos)
      << display_form(read.error());
  Result<LazyReader> lazy = LazyReader::open(encrypted);
  ASSERT_TRUE(lazy.ok()) << display_form(lazy.error());
  EXPECT_TRUE(lazy.value().structure().encrypted);
  EXPECT_EQ(lazy.value().structure().security_handler, "Standard");
  EXPECT_EQ(lazy.value().structure().security_revision, std::optional<std::int64_t>(6));
  EXPECT_EQ(kind_of(lazy.value().load({1, 0}).error()), IoErrorKind::Unsupported);
  std::filesystem::remove_all(directory);
}

TEST(ReaderStructure, FilesOpenByPathMappedOrEmpty) {
  const std::filesystem::path directory = testing_support::fresh_directory("reader-paths");
  Document document = sound_document();
  const std::string path = (directory / "sound.pdf").string();
  ASSERT_TRUE(save_to_path(document, path).ok());
  Result<ReadFile> read = read_pdf_file(path, {.strict = true, .limits = {}});
  ASSERT_TRUE(read.ok()) << display_form(read.error());
  expect_same_objects(document, read.value().document);
  const std::string empty = (directory / "empty.pdf").string();
  { std::ofstream create(empty); }
  Result<ReadFile> none = read_pdf_file(empty);
  ASSERT_FALSE(none.ok());
  EXPECT_EQ(kind_of(none.error()), IoErrorKind::InvalidData);
  EXPECT_EQ(kind_of(read_pdf_file((directory / "missing.pdf").string()).error()),
            IoErrorKind::NotFound);
  std::filesystem::remove_all(directory);
}

}  // namespace
}  // namespace vantril
