// Object kinds, the type test, streams and deep copies.
#include "vantril/model/object.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <type_traits>
#include <utility>

#include "model/type_label.hpp"
#include "runtime/allocation_count.hpp"

namespace vantril {
namespace {

// Text must never turn into a Boolean or an Integer behind the caller's back, an unsigned 64-bit
// value does not fit an Integer, and values have one owner.
static_assert(!std::is_constructible_v<Object, const char*>);
static_assert(!std::is_constructible_v<Object, char>);
static_assert(!std::is_constructible_v<Object, std::uint64_t>);
static_assert(!std::is_copy_constructible_v<Object>);

TEST(Object, KindFollowsTheDeclaredOrder) {
  Object objects[] = {
      Object(Null{}),        Object(true),         Object(-5),
      Object(0.5f),          Object(Name("N")),    Object(literal_string("s")),
      Object(Array()),       Object(Dictionary()), Object(make_stream(Dictionary(), "")),
      Object(ObjectId{3, 0})};
  for (std::size_t i = 0; i < std::size(objects); ++i) {
    EXPECT_EQ(static_cast<std::size_t>(objects[i].kind()), i);
  }
}

TEST(Object, NumbersKeepTheirFullRangeAndPrecision) {
  EXPECT_EQ(*Object(std::numeric_limits<std::int64_t>::min()).integer(),
            std::numeric_limits<std::int64_t>::min());
  EXPECT_EQ(*Object(std::numeric_limits<std::uint32_t>::max()).integer(), 4294967295);
  // Reals are single precision: 0.1 is stored as the nearest float, not the nearest double.
  EXPECT_EQ(*Object(0.1).real(), 0.1f);
  EXPECT_EQ(Object(0.1).kind(), ObjectKind::Real);
  EXPECT_EQ(Object(false).kind(), ObjectKind::Boolean);
}

TEST(Object, DictionaryOfCoversDictionariesAndStreamsOnly) {
  Object dictionary(Dictionary::from_pairs({{"Type", Name("Page")}}));
  Object stream(make_stream(Dictionary::from_pairs({{"Type", Name("XRef")}}), "abc"));
  EXPECT_EQ(dictionary_of(dictionary), dictionary.dictionary());
  EXPECT_EQ(dictionary_of(stream), &stream.stream()->stream_dictionary);
  EXPECT_EQ(dictionary_of(Object(Name("Page"))), nullptr);
  EXPECT_EQ(dictionary_of(Object(make_array())), nullptr);
}

TEST(Stream, MakeStreamSetsLengthWhereverItBelongs) {
  Stream empty = make_stream(Dictionary(), "");
  ASSERT_EQ(empty.stream_dictionary.len(), 1u);
  EXPECT_EQ(empty.stream_dictionary.iter()[0].key, "Length");
  EXPECT_EQ(*empty.stream_dictionary.get("Length")->integer(), 0);
  EXPECT_TRUE(empty.compressible);
  EXPECT_FALSE(empty.source_offset.has_value());

  // A given "Length" keeps its position with the new value; other keys stay ahead of a new one.
  Stream relength = make_stream(Dictionary::from_pairs({{"Length", 999}, {"Filter", Name("X")}}),
                                std::string(68, 'x'));
  EXPECT_EQ(relength.stream_dictionary.iter()[0].key, "Length");
  EXPECT_EQ(*relength.stream_dictionary.get("Length")->integer(), 68);
  Stream appended = make_stream(Dictionary::from_pairs({{"Filter", Name("X")}}), "ab");
  EXPECT_EQ(appended.stream_dictionary.iter()[1].key, "Length");
}

// A moved buffer becomes the stream's content as it is: same block, no allocation, no byte copied.
// Given as a copy, the caller's buffer stays its own.
TEST(Stream, MakeStreamTakesOverAMovedBufferWithoutCopying) {
  Bytes content(1 << 20, 'c');
  const char* const block = content.data();
#if defined(VANTRIL_ALLOCATION_COUNTING)
  Dictionary dictionary = Dictionary::from_pairs({{"Filter", Name("X")}, {"Length", 0}});
  start_counting_allocations();
  Stream stream = make_stream(std::move(dictionary), std::move(content));
  const AllocationCount counted = stop_counting_allocations();
  EXPECT_EQ(counted.allocations, 0u);
#else
  Stream stream = make_stream(Dictionary(), std::move(content));
#endif
  EXPECT_EQ(stream.data.data(), block);
  EXPECT_EQ(*stream.stream_dictionary.get("Length")->integer(), 1 << 20);
  const Object object(std::move(stream));
  EXPECT_EQ(object.stream()->data.data(), block);

  const Bytes kept(std::string(100, 'k'));
  const Stream copied = make_stream(Dictionary(), kept);
  EXPECT_NE(copied.data.data(), kept.data());
  EXPECT_EQ(copied.data, kept);
}

TEST(TypeLabel, DecidesByTheDirectTypeNameThenLinearized) {
  struct Case {
    const char* name;
    Dictionary dictionary;
    std::optional<std::string_view> expected;
  };
  Case cases[] = {
      {"a Type name", Dictionary::from_pairs({{"Type", Name("Page")}}), "Page"},
      {"Type name wins over Linearized",
       Dictionary::from_pairs({{"Linearized", 1}, {"Type", Name("XRef")}}), "XRef"},
      {"Type of another kind, Linearized present",
       Dictionary::from_pairs({{"Type", 7}, {"Linearized", 1}}), "Linearized"},
      {"a reference is not a name", Dictionary::from_pairs({{"Type", ObjectId{1, 0}}}),
       std::nullopt},
      {"invalid UTF-8 counts as missing",
       Dictionary::from_pairs({{"Type", Name("\xC3\x28")}, {"Linearized", true}}), "Linearized"},
      {"invalid UTF-8 without Linearized", Dictionary::from_pairs({{"Type", Name("\xFF")}}),
       std::nullopt},
      {"valid multibyte UTF-8", Dictionary::from_pairs({{"Type", Name("\xC3\xA9t\xC3\xA9")}}),
       "\xC3\xA9t\xC3\xA9"},
      {"surrogate encoded in UTF-8 is invalid",
       Dictionary::from_pairs({{"Type", Name("\xED\xA0\x80")}}), std::nullopt},
      {"overlong encoding is invalid", Dictionary::from_pairs({{"Type", Name("\xC0\xAF")}}),
       std::nullopt},
      {"neither key", Dictionary::from_pairs({{"Kids", make_array()}}), std::nullopt},
      {"empty name is a type", Dictionary::from_pairs({{"Type", Name("")}}), ""},
  };
  for (const Case& test_case : cases) {
    SCOPED_TRACE(test_case.name);
    EXPECT_EQ(type_label(test_case.dictionary), test_case.expected);
  }
}

TEST(Strings, LiteralsWithNulBytesKeepThemAll) {
  EXPECT_EQ(literal_string("\xFE\xFF\x00J").bytes.size(), 4u);
  EXPECT_EQ(hex_string("\x00\x00").bytes.size(), 2u);
  EXPECT_EQ(make_stream(Dictionary(), "a\0b").data.size(), 3u);
  // From a view, exactly its length.
  EXPECT_EQ(literal_string(std::string_view("a\0bc", 3)).bytes, std::string("a\0b", 3));
}

TEST(Clone, CopiesEveryKindDeeply) {
  Object source(make_array(
      Null{}, true, std::int64_t{-9}, 2.5f, Name("N"), hex_string(std::string("\0\xAB", 2)),
      make_array(make_array(1)), Dictionary::from_pairs({{"K", literal_string("v")}}),
      make_stream(Dictionary::from_pairs({{"Filter", Name("F")}}), std::string("\0data", 5)),
      ObjectId{4, 2}));
  source.array()->at(8).stream()->source_offset = 77;
  source.array()->at(8).stream()->compressible = false;

  Object copy = clone(source);
  const Array& items = *copy.array();
  ASSERT_EQ(items.size(), 10u);
  for (std::size_t i = 0; i < items.size(); ++i) {
    EXPECT_EQ(items[i].kind(), source.array()->at(i).kind());
  }
  EXPECT_EQ(*items[1].boolean(), true);
  EXPECT_EQ(*items[2].integer(), -9);
  EXPECT_EQ(*items[3].real(), 2.5f);
  EXPECT_EQ(items[5].string()->bytes, std::string("\0\xAB", 2));
  EXPECT_EQ(items[5].string()->style(), StringStyle::Hexadecimal);
  EXPECT_EQ(*items[9].reference(), (ObjectId{4, 2}));
  const Stream& stream = *items[8].stream();
  EXPECT_EQ(stream.data, std::string("\0data", 5));
  EXPECT_EQ(stream.source_offset, 77u);
  EXPECT_FALSE(stream.compressible);
  EXPECT_EQ(stream.stream_dictionary.iter()[1].key, "Length");

  // The copy owns its own storage.
  EXPECT_NE(items[8].stream(), source.array()->at(8).stream());
  copy.array()->at(6).array()->at(0).array()->push_back(Object(2));
  EXPECT_EQ(source.array()->at(6).array()->at(0).array()->size(), 1u);
}

}  // namespace
}  // namespace vantril
