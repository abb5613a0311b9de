// Random documents handed to the streaming writer in descending object numbers, so that every
// reference points forward or nowhere yet, read back by libqpdf object by object; and random
// documents written with compression and object streams both by a save and by the streaming
// writer, which must give every number the same object.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>

#include "generator/random_document.hpp"
#include "model/type_label.hpp"
#include "qpdf/qpdf_reader.hpp"
#include "qpdf/round_trip_check.hpp"
#include "support/describe_value.hpp"
#include "support/posix/shell.hpp"
#include "vantril/model/document.hpp"
#include "vantril/stream_writer.hpp"
#include "vantril/writer/save.hpp"

namespace vantril {
namespace {

// Whether the object at `it` is the one a save lists under its number: the newest generation,
// and not of a type a file never carries.
bool is_listed(const ObjectTable& table, ObjectTable::const_iterator it) {
  const auto next = std::next(it);
  if (next != table.end() && next->first.number == it->first.number) return false;
  const Dictionary* dictionary = dictionary_of(it->second);
  if (dictionary == nullptr) return true;
  const auto label = type_label(*dictionary);
  return !(label && (*label == "XRef" || *label == "ObjStm" || *label == "Linearized"));
}

TEST(StreamWriterRoundTrip, ObjectsWrittenInDescendingOrderReadBackAsGiven) {
  std::size_t failures = 0;
  for (std::uint64_t seed = 0; seed < 600 && failures < 5; ++seed) {
    testing_support::Entropy entropy = testing_support::Entropy::seeded(seed);
    Document document = testing_support::random_document(entropy, {.sound = true});
    // Only the listed objects: the checker then expects exactly what the writer was given.
    for (auto it = document.object_table.begin(); it != document.object_table.end();) {
      it = is_listed(document.object_table, it) ? std::next(it) : document.object_table.erase(it);
    }

    std::string file;
    CountingSink sink(file);
    StreamWriter writer =
        std::move(StreamWriter::over_sink(sink, document.version, document.xref_state.xref_form))
            .value();
    while (writer.highest_number() < document.highest_number) writer.reserve_id();
    for (auto it = document.object_table.rbegin(); it != document.object_table.rend(); ++it) {
      ASSERT_TRUE(writer.write_object(it->first, it->second).ok());
    }
    for (std::uint32_t number = 1; number <= document.highest_number; ++number) {
      const auto found = document.object_table.lower_bound(ObjectId{number, 0});
      if (found == document.object_table.end() || found->first.number != number) {
        ASSERT_TRUE(writer.release_id(ObjectId{number, 0}).ok());
      }
    }
    writer.trailer() = clone(document.trailer);
    ASSERT_TRUE(writer.close().ok());

    // The document as the writer left it: its trailer and its highest number.
    document.trailer = clone(writer.trailer());
    document.highest_number = writer.highest_number();
    const std::vector<std::string> differences =
        testing_support::round_trip_differences(document, file);
    if (!differences.empty()) ++failures;
    for (const std::string& difference : differences) {
      ADD_FAILURE() << "seed " << seed << ": " << difference;
    }
  }
}

// Every field the reader gives, compared down to the leaves: raw stream data (compressed or
// not), decoded data, and dictionary keys in their written order.
bool same_value(const testing_support::ReadValue& a, const testing_support::ReadValue& b) {
  if (a.kind != b.kind || a.boolean != b.boolean || a.integer != b.integer || a.text != b.text ||
      a.decodes != b.decodes || a.decoded != b.decoded || a.keys != b.keys ||
      a.number != b.number || a.generation != b.generation || a.items.size() != b.items.size()) {
    return false;
  }
  for (std::size_t i = 0; i < a.items.size(); ++i) {
    if (!same_value(a.items[i], b.items[i])) return false;
  }
  return true;
}

// The trailer without what depends on where the objects lie: the cross-reference stream's
// length, field widths and filter (its offsets may compress in one file and not in the other).
testing_support::ReadValue placeless(const testing_support::ReadValue& trailer) {
  testing_support::ReadValue kept = trailer;
  kept.keys.clear();
  kept.items.clear();
  for (std::size_t i = 0; i < trailer.keys.size(); ++i) {
    const std::string& key = trailer.keys[i];
    if (key == "Length" || key == "W" || key == "Filter" || key == "DecodeParms") continue;
    kept.keys.push_back(trailer.keys[i]);
    kept.items.push_back(trailer.items[i]);
  }
  return kept;
}

// `qpdf --check` finds nothing wrong in the bytes.
void expect_qpdf_check_passes(const std::string& bytes, const std::string& name) {
  const std::filesystem::path path = std::filesystem::temp_directory_path() / name;
  {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
  }
  const testing_support::Ran checked =
      testing_support::run("qpdf --check " + testing_support::quoted(path));
  EXPECT_EQ(checked.exit_status, 0) << name << "\n" << checked.output;
  EXPECT_NE(checked.output.find("No syntax or stream encoding errors found"), std::string::npos)
      << name << "\n"
      << checked.output;
  std::filesystem::remove(path);
}

// The same objects through a save and through the streaming writer with the same options: the
// layouts differ (a save writes its object streams last), but with every number reserved first
// and the objects written in ascending numbers, each number, the object streams' included, reads
// back as the same object, down to the raw bytes of every stream; so the streaming writer packs
// the same batches into the same object streams and compresses them to the same bytes.
TEST(StreamWriterRoundTrip, WithOptionsEveryNumberHoldsWhatTheSaveWrites) {
  struct Packing {
    const char* what;
    SaveOptions options;
  };
  const Packing packings[] = {
      {"object streams of 3, uncompressed", {.object_streams = true, .objects_per_stream = 3}},
      {"compressed, images predicted, object streams of 7",
       {.compression_level = 6,
        .png_predictor_for_images = true,
        .object_streams = true,
        .objects_per_stream = 7}},
      {"compressed, no object streams", {.compression_level = 1}},
  };
  for (const Packing& packing : packings) {
    SCOPED_TRACE(packing.what);
    if (packing.options.compression_level > 0 && !compression_available()) continue;
    std::size_t failures = 0;
    for (std::uint64_t seed = 0; seed < 200 && failures < 3; ++seed) {
      SCOPED_TRACE("seed " + std::to_string(seed));
      testing_support::Entropy entropy = testing_support::Entropy::seeded(seed);
      Document document = testing_support::random_document(entropy, {.sound = true});
      for (auto it = document.object_table.begin(); it != document.object_table.end();) {
        it = is_listed(document.object_table, it) ? std::next(it) : document.object_table.erase(it);
      }
      if (packing.options.object_streams) document.xref_state.xref_form = XrefForm::XrefStreamForm;
      const XrefForm form = document.xref_state.xref_form;

      Document saved_document = clone(document);
      std::string saved;
      CountingSink saved_sink(saved);
      ASSERT_TRUE(write_document(saved_document, saved_sink, packing.options).ok());

      std::string streamed;
      CountingSink sink(streamed);
      StreamWriter writer =
          std::move(StreamWriter::over_sink(sink, document.version, form, packing.options)).value();
      // The trailer first: an "Encrypt" it names stays out of the object streams.
      writer.trailer() = clone(document.trailer);
      std::uint32_t last = document.highest_number;
      if (!document.object_table.empty()) {
        last = std::max(last, document.object_table.rbegin()->first.number);
      }
      while (writer.highest_number() < last) writer.reserve_id();
      auto stored = document.object_table.begin();
      for (std::uint32_t number = 1; number <= last; ++number) {
        if (stored != document.object_table.end() && stored->first.number == number) {
          // Odd seeds describe every object but the streams token by token.
          if (seed % 2 == 1 && stored->second.kind() != ObjectKind::Stream) {
            ASSERT_TRUE(writer.begin_object(stored->first).ok());
            std::uint64_t turn = seed;
            testing_support::describe_value(writer.object_value(), stored->second, turn);
            ASSERT_TRUE(writer.end_object().ok());
          } else {
            ASSERT_TRUE(writer.write_object(stored->first, stored->second).ok());
          }
          ++stored;
        } else {
          ASSERT_TRUE(writer.release_id(ObjectId{number, 0}).ok());
        }
      }
      ASSERT_TRUE(writer.close().ok());
      EXPECT_EQ(writer.highest_number(), saved_document.highest_number);

      const testing_support::ReadFile from_save = testing_support::read_with_qpdf(saved);
      const testing_support::ReadFile from_stream = testing_support::read_with_qpdf(streamed);
      ASSERT_EQ(from_save.refusal, "");
      ASSERT_EQ(from_stream.refusal, "");
      EXPECT_TRUE(from_stream.warnings.empty()) << from_stream.warnings.front();
      ASSERT_EQ(from_stream.objects.size(), from_save.objects.size());
      std::size_t differing = 0;
      for (const auto& [id, value] : from_save.objects) {
        // The cross-reference stream lists offsets, which differ; its dictionary is the trailer.
        if (form == XrefForm::XrefStreamForm &&
            id.first == static_cast<int>(saved_document.highest_number)) {
          continue;
        }
        const auto found = from_stream.objects.find(id);
        if (found == from_stream.objects.end() || !same_value(value, found->second)) {
          ADD_FAILURE() << "object " << id.first << " " << id.second << " differs";
          ++differing;
        }
      }
      EXPECT_TRUE(same_value(placeless(from_save.trailer), placeless(from_stream.trailer)));
      if (differing != 0) ++failures;
      if (seed < 10) {
        expect_qpdf_check_passes(saved, "vantril-stream-options-saved.pdf");
        expect_qpdf_check_passes(streamed, "vantril-stream-options-streamed.pdf");
      }
    }
  }
}

}  // namespace
}  // namespace vantril
