// A value described token by token is written exactly as the serializer writes the same value
// held as an Object, and every misuse stops the writer with a clear error.
#include "vantril/writer/value_writer.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "generator/random_document.hpp"
#include "support/describe_value.hpp"
#include "vantril/writer/buffered_file_writer.hpp"
#include "vantril/writer/serializer.hpp"
#include "writer_test_support.hpp"

namespace vantril {
namespace {

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
        testing_support::describe_value(*writer, object, turn);
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

// Over a buffered file the tokens are formed in runs in the buffer's room, which end where the
// buffer fills; tokens longer than the whole buffer go through the sink's own calls. The file
// holds the same bytes as memory.
TEST(ValueWriter, AFileHoldsTheBytesWrittenToMemory) {
  const auto directory = testing_support::fresh_directory("value-writer");
  const std::string path = (directory / "values.bin").string();
  std::string expected;
  CountingSink memory(expected);
  std::uint64_t written_count = 0;
  {
    BufferedFileWriter file(std::move(OutputFile::create(path)).value());
    CountingSink to_file(file);
    ValueWriter in_memory(memory);
    ValueWriter in_file(to_file);
    const std::string long_bytes(3 * BufferedFileWriter::capacity, '#');
    for (std::uint64_t seed = 0; seed < 20; ++seed) {
      testing_support::Entropy entropy = testing_support::Entropy::seeded(seed);
      const Document document = testing_support::random_document(entropy);
      for (const auto& [id, object] : document.object_table) {
        if (object.kind() == ObjectKind::Stream) continue;
        for (ValueWriter* writer : {&in_memory, &in_file}) {
          std::uint64_t turn = seed;
          writer->reset();
          writer->begin_array().name(long_bytes).string(long_bytes).integer(7);
          testing_support::describe_value(*writer, object, turn);
          writer->end_array();
          ASSERT_TRUE(writer->complete());
          // Between values others may append to the sink: the next value goes after them.
          ASSERT_TRUE((writer == &in_memory ? memory : to_file).write_all("\n%\n").ok());
        }
      }
    }
    written_count = to_file.count;
    ASSERT_TRUE(file.into_file().ok());
  }
  EXPECT_EQ(written_count, expected.size());
  EXPECT_GT(expected.size(), 50 * BufferedFileWriter::capacity);
  EXPECT_TRUE(testing_support::read_file(path) == expected);
}

// The inline calls form a token in the room only when all of it fits, else leave it to the whole
// rule: the same value described at a sweep of places across a file buffer's end, so that the end
// falls inside or just after each of its tokens in turn, holds the serializer's bytes every time,
// as it does in memory.
TEST(ValueWriter, TokensAtTheEndOfTheRoomHaveTheSameBytes) {
  const Object value = Dictionary::from_pairs({
      {"Type", Name("Annot")},
      {"Rect", make_array(10, 20, 110, 123456)},
      {"P", ObjectId{2, 0}},
      {"Long", ObjectId{1234567, 3}},
      {"C", make_array(0.5, 0.25, 0.1, -7, 1)},
      {"Edge", make_array(9999, 10000, 9999.75, 10000.5, ObjectId{9999, 9999}, ObjectId{10000, 0},
                          ObjectId{1, 10000}, 0)},
      {"Inner", Dictionary::from_pairs({{"A", make_array(Array(), Dictionary())}})},
      {"NM", literal_string("annot-12")},
      {"Odd", Name("a b")},
      {"Hex", hex_string("xy")},
      {"Open", literal_string("(")},
  });
  std::string expected;
  CountingSink expected_sink(expected);
  ASSERT_TRUE(serialize_object(expected_sink, value).ok());
  const auto directory = testing_support::fresh_directory("value-writer-room");
  const std::string path = (directory / "values.bin").string();
  std::string in_memory;
  CountingSink memory(in_memory);
  std::uint64_t written_count = 0;
  {
    BufferedFileWriter file(std::move(OutputFile::create(path)).value());
    CountingSink to_file(file);
    ValueWriter to_memory_writer(memory);
    ValueWriter to_file_writer(to_file);
    constexpr std::size_t room = BufferedFileWriter::capacity;
    for (std::size_t shift = 0; shift <= expected.size() + 1; ++shift) {
      // The value starts about `shift` bytes before the end of the buffer (exactly, until a token
      // that did not fit sent a part-filled buffer out); memory gets the same filler.
      const auto at = static_cast<std::size_t>(to_file.count % room);
      const std::string filler((2 * room - at - shift) % room, '%');
      for (auto [sink, writer] :
           {std::pair{&memory, &to_memory_writer}, std::pair{&to_file, &to_file_writer}}) {
        ASSERT_TRUE(sink->write_all(filler).ok());
        writer->reset();
        std::uint64_t turn = shift;
        testing_support::describe_value(*writer, value, turn);
        ASSERT_TRUE(writer->complete());
        ASSERT_TRUE(writer->status().ok());
      }
    }
    written_count = to_file.count;
    ASSERT_TRUE(file.into_file().ok());
  }
  EXPECT_EQ(written_count, in_memory.size());
  const std::string from_file = testing_support::read_file(path);
  EXPECT_TRUE(from_file == in_memory);
  // Each value, fillers taken out, is the serializer's.
  std::size_t values = 0;
  for (std::size_t at = 0; at < in_memory.size();) {
    at = in_memory.find_first_not_of('%', at);
    if (at == std::string::npos) break;
    ASSERT_EQ(in_memory.compare(at, expected.size(), expected), 0) << "value " << values;
    at += expected.size();
    ++values;
  }
  EXPECT_EQ(values, expected.size() + 2);
}

// Integers and references at the edges of the inline forms' range, alone and as elements, have
// the serializer's bytes: nothing beyond the range is taken for a short one by its low bits.
TEST(ValueWriter, NumbersAtTheEdgesOfTheInlineFormsHaveTheSerializersBytes) {
  const std::int64_t integers[] = {0,         9999,
                                   10000,     -1,
                                   -9999,     std::int64_t{1} << 32,
                                   -4096,     (std::int64_t{1} << 32) + 5,
                                   INT64_MIN, INT64_MAX};
  std::vector<Object> values;
  for (const std::int64_t integer : integers) values.emplace_back(integer);
  for (const ObjectId id : {ObjectId{9999, 9999}, ObjectId{10000, 0}, ObjectId{1, 10000},
                            ObjectId{65536 + 7, 0}, ObjectId{UINT32_MAX, 65535}}) {
    values.emplace_back(id);
  }
  for (const Object& value : values) {
    for (const Object& described : {clone(value), Object(make_array(clone(value), clone(value)))}) {
      std::string expected;
      CountingSink expected_sink(expected);
      ASSERT_TRUE(serialize_object(expected_sink, described).ok());
      std::string written;
      {
        CountingSink sink(written);
        ValueWriter writer(sink);
        std::uint64_t turn = 0;
        testing_support::describe_value(writer, described, turn);
        ASSERT_TRUE(writer.status().ok());
      }
      EXPECT_EQ(written, expected);
    }
  }
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
