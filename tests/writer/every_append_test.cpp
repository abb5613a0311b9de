// A document of every kind, saved in both forms with the n-th append failing for every n: the
// save returns exactly that error, appends nothing after it, and leaves the document changed only
// as far as the save had got.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "generator/random_document.hpp"
#include "vantril/writer/save.hpp"
#include "writer/file_assembler.hpp"
#include "writer_test_support.hpp"

namespace vantril {
namespace {

using testing_support::ScriptedDestination;

void collect_kinds(const Object& object, std::set<ObjectKind>& kinds) {
  kinds.insert(object.kind());
  if (const Array* array = object.array()) {
    for (const Object& element : *array) collect_kinds(element, kinds);
  } else if (const Dictionary* dictionary = dictionary_of(object)) {
    for (const DictionaryEntry& entry : dictionary->iter()) collect_kinds(entry.value, kinds);
  }
}

// The first seed whose document holds all ten kinds, kept small: every failing position costs
// a whole save.
Document every_kind_document(XrefForm form) {
  const testing_support::GeneratorLimits limits{3, 5, 24, 40, 16};
  for (std::uint64_t seed = 0;; ++seed) {
    testing_support::Entropy entropy = testing_support::Entropy::seeded(seed);
    Document document = testing_support::random_document(entropy, limits);
    std::set<ObjectKind> kinds;
    for (const auto& [id, object] : document.object_table) collect_kinds(object, kinds);
    if (kinds.size() == 10) {
      document.xref_state.xref_form = form;
      return document;
    }
  }
}

std::string trailer_text(const Document& document) {
  std::string out;
  CountingSink sink(out);
  EXPECT_TRUE(serialize_dictionary(sink, document.trailer).ok());
  return out;
}

TEST(EveryAppend, FailsAtEachPositionWithExactlyThatError) {
  for (XrefForm form : {XrefForm::XrefStreamForm, XrefForm::XrefTableForm}) {
    const bool stream_form = form == XrefForm::XrefStreamForm;
    SCOPED_TRACE(stream_form ? "stream form" : "table form");
    // One whole save first: its bytes, its appends, and the document as a save leaves it.
    Document finished = every_kind_document(form);
    const Document untouched_copy = every_kind_document(form);
    const std::string before = trailer_text(untouched_copy);
    ScriptedDestination counter;
    CountingSink counting(counter.destination());
    ASSERT_TRUE(write_document(finished, counting).ok());
    const std::string full = counter.received;
    const std::string after = trailer_text(finished);
    const std::size_t xref_position = std::stoul(full.substr(full.rfind("startxref\n") + 10));
    // The table form sets "Size" once the last row is written, just before "trailer".
    const std::size_t changed_from = stream_form ? xref_position : full.rfind("trailer\n");
    ASSERT_GT(counter.appends, 100u);

    for (std::size_t n = 1; n <= counter.appends; ++n) {
      SCOPED_TRACE("failing append " + std::to_string(n));
      Document document = every_kind_document(form);
      const std::string received = testing_support::save_failing_at(document, n, full);
      if (::testing::Test::HasFailure()) return;  // one broken position is enough to see
      const bool changed = received.size() >= changed_from;
      ASSERT_EQ(trailer_text(document), changed ? after : before);
      ASSERT_EQ(document.highest_number,
                changed && stream_form ? finished.highest_number : untouched_copy.highest_number);
    }
  }
}

}  // namespace
}  // namespace vantril
