// Random documents of every kind, saved in both cross-reference forms and read back by libqpdf.
#include <gtest/gtest.h>

#include <cstdint>
#include <iterator>
#include <string>
#include <utility>

#include "generator/random_document.hpp"
#include "model/type_label.hpp"
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

// The same documents compressed, packed into object streams (small ones, so that documents have
// several), and both; object streams need the stream form, which those saves then use. A
// quarter of the seeds per form keeps the run short.
TEST(RoundTrip, CompactFormsReadBackAsSaved) {
  if (!compression_available()) GTEST_SKIP() << "this build has no libdeflate";
  struct Form {
    const char* name;
    SaveOptions options;
  };
  const Form forms[] = {
      {"compressed", SaveOptions{.compression_level = 6}},
      {"object streams", SaveOptions{.object_streams = true, .objects_per_stream = 3}},
      {"both", SaveOptions{.compression_level = 9,
                           .png_predictor_for_images = true,
                           .object_streams = true,
                           .objects_per_stream = 4}},
  };
  for (const Form& form : forms) {
    SCOPED_TRACE(form.name);
    std::size_t failures = 0;
    for (std::uint64_t seed = 0; seed < seed_count / 4 && failures < 5; ++seed) {
      testing_support::Entropy entropy = testing_support::Entropy::seeded(seed);
      Document document = testing_support::random_document(entropy);
      if (form.options.object_streams) document.xref_state.xref_form = XrefForm::XrefStreamForm;
      std::string file;
      CountingSink sink(file);
      ASSERT_TRUE(write_document(document, sink, form.options).ok());
      const std::vector<std::string> differences =
          testing_support::round_trip_differences(document, file, form.options);
      if (!differences.empty()) ++failures;
      for (const std::string& difference : differences)
        ADD_FAILURE() << "seed " << seed << ": " << difference;
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
  // A compact save: a stream compressed, objects packed; changing the document afterwards must
  // show in the decoded data and in the objects read from object streams.
  if (compression_available()) {
    const SaveOptions options{.compression_level = 6, .object_streams = true};
    Document document = create_versioned("1.7");
    append_object(document, Dictionary::from_pairs({{"Type", Name("Catalog")}}));
    append_object(document, make_stream(Dictionary(), std::string(1000, 'a')));
    document.trailer.set("Root", ObjectId{1, 0});
    std::string file;
    CountingSink sink(file);
    ASSERT_TRUE(write_document(document, sink, options).ok());
    ASSERT_NE(file.find("/FlateDecode"), std::string::npos);
    ASSERT_NE(file.find("/ObjStm"), std::string::npos);
    ASSERT_TRUE(testing_support::round_trip_differences(document, file, options).empty());
    document.object_table.at({2, 0}).stream()->data = Bytes(std::string(999, 'a') + "b");
    EXPECT_FALSE(testing_support::round_trip_differences(document, file, options).empty());
    document.object_table.at({2, 0}).stream()->data = Bytes(std::string(1000, 'a'));
    document.object_table.at({1, 0}).dictionary()->set("Type", Name("Catalogue"));
    EXPECT_FALSE(testing_support::round_trip_differences(document, file, options).empty());
    // Read as if saved without compression, the compressed stream is itself a difference.
    document.object_table.at({1, 0}).dictionary()->set("Type", Name("Catalog"));
    EXPECT_FALSE(
        testing_support::round_trip_differences(document, file, SaveOptions{.object_streams = true})
            .empty());
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
