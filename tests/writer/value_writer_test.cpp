// A value described token by token is written exactly as the serializer writes the same value
// held as an Object, and every misuse stops the writer with a clear error.
#include "vantril/writer/value_writer.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "generator/random_document.hpp"
#include "vantril/writer/serializer.hpp"

namespace vantril {
namespace {

// Describes the object through the writer's calls; every third container of its values is
// handed over whole with value() instead, so both ways meet at every nesting level.
void describe(ValueWriter& writer, const Object& object, std::uint64_t& turn) {
  switch (object.kind()) {
    case ObjectKind::Null:
      writer.null();
      return;
    case ObjectKind::Boolean:
      writer.boolean(*object.boolean());
      return;
    case ObjectKind::Integer:
      writer.integer(*object.integer());
      return;
    case ObjectKind::Real:
      writer.real(*object.real());
      return;
    case ObjectKind::Reference:
      writer.reference(*object.reference());
      return;
    case ObjectKind::Name:
      writer.name(object.name()->bytes);
      return;
    case ObjectKind::String:
      writer.string(object.string()->bytes, object.string()->style);
      return;
    default:
      break;
  }
  if (++turn % 3 == 0 || object.kind() == ObjectKind::Stream) {
    writer.value(object);
  } else if (const Array* array = object.array()) {
    writer.begin_array();
    for (const Object& element : *array) describe(writer, element, turn);
    writer.end_array();
  } else {
    writer.begin_dictionary();
    for (const DictionaryEntry& entry : object.dictionary()->iter()) {
      writer.key(entry.key);
      describe(writer, entry.value, turn);
    }
    writer.end_dictionary();
  }
}

TEST(ValueWriter, DescribedValuesHaveTheSerializersBytes) {
  std::string written;
  CountingSink sink(written);
  ValueWriter plain(sink);
  ValueWriter spaced(sink, true);
  std::size_t compared = 0;
  for (std::uint64_t seed = 0; seed < 200; ++seed) {
    testing_support::Entropy entropy = testing_support::Entropy::seeded(seed);
    const Document document = testing_support::random_document(entropy);
    std::uint64_t turn = seed;
    for (const auto& [id, object] : document.object_table) {
      if (object.kind() == ObjectKind::Stream) continue;
      SCOPED_TRACE("seed " + std::to_string(seed) + ", object " + std::to_string(id.number));
      std::string expected;
      CountingSink expected_sink(expected);
      ASSERT_TRUE(serialize_object(expected_sink, object).ok());
      for (ValueWriter* writer : {&plain, &spaced}) {
        written.clear();
        writer->reset();
        describe(*writer, object, turn);
        ASSERT_TRUE(writer->complete());
        EXPECT_EQ(writer->kind(), object.kind());
        const bool space = writer == &spaced && (object.kind() <= ObjectKind::Real ||
                                                 object.kind() == ObjectKind::Reference);
        ASSERT_EQ(written, (space ? " " : "") + expected);
        ++compared;
      }
    }
  }
  EXPECT_GT(compared, 2000u);
}

TEST(ValueWriter, MisuseStopsTheWriterWithNothingMoreWritten) {
  struct Case {
    const char* what;
    std::function<void(ValueWriter&)> calls;
    const char* written;
    const char* message;
  };
  const std::vector<Case> cases = {
      {"a second top-level value", [](ValueWriter& w) { w.integer(1).integer(2); }, "1",
       "a value writer describes one value; start the next with reset"},
      {"a value without its key", [](ValueWriter& w) { w.begin_dictionary().integer(1).null(); },
       "<<", "a dictionary value without its key"},
      {"two keys in a row", [](ValueWriter& w) { w.begin_dictionary().key("A").key("B"); }, "<</A",
       "a key where the previous key's value belongs"},
      {"a key in an array", [](ValueWriter& w) { w.begin_array().key("A"); }, "[",
       "a key outside a dictionary"},
      {"a key at the top", [](ValueWriter& w) { w.key("A"); }, "", "a key outside a dictionary"},
      {"the wrong end", [](ValueWriter& w) { w.begin_array().end_dictionary().end_array(); }, "[",
       "end_dictionary with no dictionary open"},
      {"an end with nothing open", [](ValueWriter& w) { w.end_array(); }, "",
       "end_array with no array open"},
      {"a key left without its value",
       [](ValueWriter& w) { w.begin_dictionary().key("A").end_dictionary(); }, "<</A",
       "a dictionary closed after a key without its value"},
      {"a stream", [](ValueWriter& w) { w.begin_array().value(make_stream({}, Bytes("x"))); }, "[",
       "a stream is an indirect object of its own, never a value inside another"},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.what);
    std::string written;
    CountingSink sink(written);
    ValueWriter writer(sink);
    test.calls(writer);
    writer.null().end_array().end_dictionary();
    EXPECT_FALSE(writer.complete());
    ASSERT_FALSE(writer.status().ok());
    EXPECT_EQ(kind_of(writer.status().error()), IoErrorKind::InvalidInput);
    EXPECT_EQ(display_form(writer.status().error()), test.message);
    EXPECT_EQ(written, test.written);
  }
}

}  // namespace
}  // namespace vantril
