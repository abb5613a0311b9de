// Random documents handed to the streaming writer in descending object numbers, so that every
// reference points forward or nowhere yet, read back by libqpdf object by object.
#include <gtest/gtest.h>

#include <cstdint>
#include <iterator>
#include <string>
#include <utility>

#include "generator/random_document.hpp"
#include "qpdf/round_trip_check.hpp"
#include "vantril/model/document.hpp"
#include "vantril/stream_writer.hpp"

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
    Document document = testing_support::random_document(entropy);
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

}  // namespace
}  // namespace vantril
