// Random documents of every kind, saved in both cross-reference forms and read back by libqpdf.
#include <gtest/gtest.h>

#include <cstdint>
#include <iterator>
#include <string>
#include <utility>

#include "generator/random_document.hpp"
#include "qpdf/round_trip_check.hpp"
#include "vantril/writer/save.hpp"

namespace vantril {
namespace {

constexpr std::uint64_t seed_count = 3000;

// Half the documents are saved a second time, in a form drawn again: what the first save left in
// the document must not spoil the second file.
TEST(RoundTrip, RandomDocumentsReadBackAsSaved) {
  std::size_t failures = 0;
  for (std::uint64_t seed = 0; seed < seed_count && failures < 5; ++seed) {
    testing_support::Entropy entropy = testing_support::Entropy::seeded(seed);
    Document document = testing_support::random_document(entropy);
    const int saves = entropy.chance(50) ? 2 : 1;
    for (int save = 1; save <= saves; ++save) {
      if (save == 2) {
        document.xref_state.xref_form =
            entropy.chance(50) ? XrefForm::XrefTableForm : XrefForm::XrefStreamForm;
      }
      std::string file;
      CountingSink sink(file);
      ASSERT_TRUE(write_document(document, sink).ok());
      const std::vector<std::string> differences =
          testing_support::round_trip_differences(document, file);
      if (!differences.empty()) ++failures;
      for (const std::string& difference : differences)
        ADD_FAILURE() << "seed " << seed << ", save " << save << ": " << difference;
    }
  }
}

// The checker must see a wrong value, wrong stream data, a wrong "Size" and offsets that miss
// their objects; otherwise a clean run above would prove nothing.
TEST(RoundTrip, TheCheckerNoticesWhatASaveCouldGetWrong) {
  const auto saved_pair = [](std::uint64_t seed) {
    testing_support::Entropy entropy = testing_support::Entropy::seeded(seed);
    Document document = testing_support::random_document(entropy);
    std::string file;
    CountingSink sink(file);
    EXPECT_TRUE(write_document(document, sink).ok());
    return std::pair(std::move(document), std::move(file));
  };
  struct Case {
    const char* what;
    void (*spoil)(Document&, std::string&);
  };
  const Case cases[] = {
      {"a changed page box",
       [](Document& document, std::string&) {
         document.object_table.at({3, 0}).dictionary()->set("MediaBox", make_array(0, 0, 612, 793));
       }},
      {"an extra trailer entry",
       [](Document& document, std::string&) { document.trailer.set("Extra", 1); }},
      {"a byte inserted after the header",
       [](Document&, std::string& file) { file = file.substr(0, 9) + " " + file.substr(9); }},
      {"a changed name",
       [](Document& document, std::string&) {
         document.object_table.at({2, 0}).dictionary()->set("Type", Name("Page"));
       }},
  };
  for (const Case& spoiled : cases) {
    SCOPED_TRACE(spoiled.what);
    auto [document, file] = saved_pair(1);
    ASSERT_TRUE(testing_support::round_trip_differences(document, file).empty());
    spoiled.spoil(document, file);
    EXPECT_FALSE(testing_support::round_trip_differences(document, file).empty());
  }
  // Stream data: find a seed with a stream and change one byte of it.
  for (std::uint64_t seed = 0;; ++seed) {
    auto [document, file] = saved_pair(seed);
    // One the save writes and lists: no layout type, no newer generation under its number.
    Stream* stream = nullptr;
    for (auto it = document.object_table.begin(); it != document.object_table.end(); ++it) {
      Stream* candidate = it->second.stream();
      const auto next = std::next(it);
      const bool newest =
          next == document.object_table.end() || next->first.number != it->first.number;
      if (candidate != nullptr && !candidate->data.empty() && newest &&
          !type_label(candidate->stream_dictionary).has_value()) {
        stream = candidate;
      }
    }
    if (stream == nullptr) continue;
    std::string data = stream->data;
    data[0] = static_cast<char>(data[0] ^ 1);
    stream->data = Bytes(data);
    EXPECT_FALSE(testing_support::round_trip_differences(document, file).empty());
    break;
  }
}

}  // namespace
}  // namespace vantril
