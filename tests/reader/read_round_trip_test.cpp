// Random documents saved by vantril's writer in every form, through the streaming writer, and
// with appended revisions, read back under strict reading: the same version, trailer entries and
// objects, nothing repaired, and the same objects again through LazyReader.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "generator/random_document.hpp"
#include "reader/reader_test_support.hpp"
#include "support/files.hpp"
#include "vantril/reader.hpp"
#include "vantril/revision.hpp"
#include "vantril/writer.hpp"

namespace vantril {
namespace {

using testing_support::expect_same_objects;
using testing_support::text_of;

constexpr ReadOptions strict{.strict = true, .limits = {}};

Document generated(std::uint64_t seed, bool sound = false) {
  testing_support::Entropy entropy = testing_support::Entropy::seeded(seed);
  testing_support::GeneratorLimits limits;
  limits.sound = sound;
  Document document = testing_support::random_document(entropy, limits);
  // An "/Encrypt" the generator put in the trailer would make the file read as encrypted.
  document.trailer.remove("Encrypt");
  return document;
}

std::uint32_t highest_listed(const Document& document) {
  std::uint32_t highest = document.highest_number;
  if (!document.object_table.empty()) {
    highest = std::max(highest, document.object_table.rbegin()->first.number);
  }
  return highest;
}

// The read of `file` agrees with `saved` (the document after its save) and with its own lazy
// reading; returns the number of differences.
std::size_t check_read_back(const std::string& file, const Document& saved, XrefForm form) {
  Result<ReadFile> read = read_pdf_bytes(file, strict);
  if (!read.ok()) {
    ADD_FAILURE() << display_form(read.error());
    return 1;
  }
  const Document& document = read.value().document;
  const FileStructure& structure = read.value().structure;
  std::size_t differences = expect_same_objects(saved, document);
  EXPECT_EQ(document.version, saved.version);
  EXPECT_TRUE(structure.repairs.empty());
  EXPECT_FALSE(structure.rebuilt);
  EXPECT_EQ(document.xref_state.xref_form, form);
  EXPECT_EQ(structure.revisions.back().form, form);
  EXPECT_GE(document.highest_number, highest_listed(saved));
  EXPECT_EQ(std::uint64_t{document.xref_state.declared_size},
            static_cast<std::uint64_t>(*saved.trailer.get("Size")->integer()));
  // Every number a section lists is in the slots, and every object read is in use there.
  for (const auto& [id, object] : document.object_table) {
    const FileSlot* slot = find_slot(structure, id.number);
    EXPECT_TRUE(slot != nullptr &&
                (slot->kind == XrefSlotKind::InUse || slot->kind == XrefSlotKind::InObjectStream));
  }

  Result<LazyReader> lazy = LazyReader::over_bytes(file, strict);
  if (!lazy.ok()) {
    ADD_FAILURE() << display_form(lazy.error());
    return differences + 1;
  }
  std::vector<ObjectId> ids = lazy.value().object_ids();
  EXPECT_EQ(ids.size(), document.object_table.size());
  for (const ObjectId& id : ids) {
    Result<Object> object = lazy.value().load(id);
    auto whole = document.object_table.find(id);
    if (!object.ok() || whole == document.object_table.end() ||
        text_of(object.value()) != text_of(whole->second)) {
      ADD_FAILURE() << "lazy load of object " << id.number << " differs";
      ++differences;
    }
  }
  return differences + (structure.repairs.empty() ? 0 : 1);
}

struct Form {
  const char* what;
  XrefForm form;
  SaveOptions options;
};

TEST(ReaderRoundTrip, EverySaveFormReadsBackStrictly) {
  const Form forms[] = {
      {"table", XrefForm::XrefTableForm, {}},
      {"stream", XrefForm::XrefStreamForm, {}},
      {"table, compressed", XrefForm::XrefTableForm, {.compression_level = 6}},
      {"stream, compressed", XrefForm::XrefStreamForm, {.compression_level = 1}},
      {"object streams of 5",
       XrefForm::XrefStreamForm,
       {.object_streams = true, .objects_per_stream = 5}},
      {"object streams, compressed",
       XrefForm::XrefStreamForm,
       {.compression_level = 9, .object_streams = true, .objects_per_stream = 1000}},
  };
  for (const Form& form : forms) {
    SCOPED_TRACE(form.what);
    if (form.options.compression_level > 0 && !compression_available()) continue;
    std::size_t failing_seeds = 0;
    for (std::uint64_t seed = 0; seed < 200 && failing_seeds < 3; ++seed) {
      SCOPED_TRACE("seed " + std::to_string(seed));
      Document document = generated(seed);
      document.xref_state.xref_form = form.form;
      std::string file;
      CountingSink sink(file);
      ASSERT_TRUE(write_document(document, sink, form.options).ok());
      if (check_read_back(file, document, form.form) > 0) ++failing_seeds;
    }
  }
}

TEST(ReaderRoundTrip, StreamingWriterFilesReadBackStrictly) {
  std::size_t failing_seeds = 0;
  for (std::uint64_t seed = 0; seed < 200 && failing_seeds < 3; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    // The writer refuses to close a file whose references name objects it never wrote.
    Document document = generated(seed, true);
    for (auto it = document.object_table.begin(); it != document.object_table.end();) {
      it = testing_support::listed_by_save(document.object_table, it)
               ? std::next(it)
               : document.object_table.erase(it);
    }
    const XrefForm form = seed % 2 == 0 ? XrefForm::XrefTableForm : XrefForm::XrefStreamForm;
    SaveOptions options;
    if (seed % 4 == 3) {
      options.object_streams = true;
      options.objects_per_stream = 4;
    }
    std::string file;
    CountingSink sink(file);
    StreamWriter writer =
        std::move(StreamWriter::over_sink(sink, document.version, form, options)).value();
    writer.trailer() = clone(document.trailer);
    const std::uint32_t last = highest_listed(document);
    while (writer.highest_number() < last) writer.reserve_id();
    auto stored = document.object_table.begin();
    for (std::uint32_t number = 1; number <= last; ++number) {
      if (stored != document.object_table.end() && stored->first.number == number) {
        ASSERT_TRUE(writer.write_object(stored->first, stored->second).ok());
        ++stored;
      } else {
        ASSERT_TRUE(writer.release_id(ObjectId{number, 0}).ok());
      }
    }
    ASSERT_TRUE(writer.close().ok());
    document.trailer = clone(writer.trailer());
    if (check_read_back(file, document, form) > 0) ++failing_seeds;
  }
}

// Appended revisions: the latest revision's objects are read, each revision is listed with its
// form and offset, and a read file is appended to again through the state its structure gives.
TEST(ReaderRoundTrip, AppendedRevisionsReadBackAsTheLatest) {
  const std::filesystem::path directory = testing_support::fresh_directory("reader-revisions");
  std::size_t failing_seeds = 0;
  for (std::uint64_t seed = 0; seed < 60 && failing_seeds < 3; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    const XrefForm form = seed % 2 == 0 ? XrefForm::XrefTableForm : XrefForm::XrefStreamForm;
    Document document = generated(seed);
    document.xref_state.xref_form = form;
    // Appended revisions repeat the trailer's Root, Info and ID, which must be of their kinds.
    document.trailer.remove("Info");
    document.trailer.remove("ID");
    document.trailer.set("Root", Object(ObjectId{1, 0}));
    const std::string path = (directory / ("revisions-" + std::to_string(seed) + ".pdf")).string();
    Result<RevisionState> state = save_revisable(document, path);
    ASSERT_TRUE(state.ok()) << display_form(state.error());
    std::vector<std::uint64_t> offsets{state.value().xref_offset};
    for (int revision = 0; revision < 2; ++revision) {
      std::vector<ObjectId> changed;
      changed.push_back(append_object(document, Object(static_cast<std::int64_t>(revision))));
      ObjectTable& table = document.object_table;
      for (auto it = table.begin(); it != table.end(); ++it) {
        if (it->first.number % 3 == static_cast<std::uint32_t>(revision) && it->first.number > 3 &&
            it->second.kind() != ObjectKind::Stream && testing_support::listed_by_save(table, it)) {
          it->second = Object(make_array(Object(Name("changed")), Object(it->first.number)));
          changed.push_back(it->first);
        }
      }
      std::sort(changed.begin(), changed.end());
      // Every changed object but the new one replaces one the file holds.
      state = append_revision(document, path, state.value(), changed, changed);
      ASSERT_TRUE(state.ok()) << display_form(state.error());
      offsets.push_back(state.value().xref_offset);
    }
    Result<ReadFile> read = read_pdf_file(path, strict);
    ASSERT_TRUE(read.ok()) << display_form(read.error());
    const FileStructure& structure = read.value().structure;
    ASSERT_EQ(structure.revisions.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
      EXPECT_EQ(structure.revisions[i].xref_offset, offsets[i]);
      EXPECT_EQ(structure.revisions[i].form, form);
    }
    EXPECT_EQ(read.value().document.highest_number, state.value().highest_number);
    // The document now holds the latest objects; its trailer is that of the save.
    Document expected = clone(document);
    expected.trailer = clone(read.value().document.trailer);
    if (expect_same_objects(expected, read.value().document) > 0) ++failing_seeds;
  }
  std::filesystem::remove_all(directory);
}

}  // namespace
}  // namespace vantril
