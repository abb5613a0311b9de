// Exact bytes of every object kind in direct form and in the indirect-object frame.
#include <gtest/gtest.h>

#include <cfloat>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "vantril/model/object.hpp"
#include "writer/file_assembler.hpp"
#include "writer_test_support.hpp"

namespace vantril {
namespace {

using namespace std::string_literals;
using testing_support::ScriptedDestination;
using testing_support::serialized;

struct Case {
  std::string expected;
  Object object;
};

void expect_all(std::vector<Case>& cases) {
  for (std::size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE("case " + std::to_string(i) + ", expected " + cases[i].expected);
    EXPECT_EQ(serialized(cases[i].object), cases[i].expected);
  }
}

Object name(std::string_view bytes) { return Name(bytes); }

TEST(SerializeObject, NamesEscapeDelimitersHashAndBytesOutsidePrintableAscii) {
  std::vector<Case> cases;
  cases.push_back({"/Type", name("Type")});
  cases.push_back({"/", name("")});
  cases.push_back({"/A#20B", name("A B")});
  cases.push_back({"/a#23b", name("a#b")});
  cases.push_back({"/x#2Fy", name("x/y")});
  cases.push_back({"/#E9", name("\xE9")});
  cases.push_back({"/a#09b", name("a\tb")});
  cases.push_back({"/~!", name("~!")});
  cases.push_back({"/#7F#FF#AB#80", name("\x7F\xFF\xAB\x80")});
  cases.push_back({"/#01#1F", name("\x01\x1F"s)});
  cases.push_back({"/#0A#0D#0C", name("\n\r\f")});
  cases.push_back({"/#28#29#3C#3E#5B#5D#7B#7D#2F#25", name("()<>[]{}/%")});
  cases.push_back({"/a.b-c_d+e*f'g\"h", name("a.b-c_d+e*f'g\"h")});
  expect_all(cases);
}

TEST(SerializeObject, LiteralStringsEscapeOnlyUnbalancedParenthesesBackslashAndCarriageReturn) {
  std::vector<Case> cases;
  cases.push_back({"()", literal_string("")});
  cases.push_back({"(abc)", literal_string("abc")});
  cases.push_back({"(a(b)c)", literal_string("a(b)c")});
  cases.push_back({"((a(b)c))", literal_string("(a(b)c)")});
  cases.push_back({"(a\\)b)", literal_string("a)b")});
  cases.push_back({"(\\()", literal_string("(")});
  cases.push_back({"(\\)\\()", literal_string(")(")});
  cases.push_back({"(\\((a))", literal_string("((a)")});
  cases.push_back({"(\\)())", literal_string(")()")});
  cases.push_back({"(()\\()", literal_string("()(")});
  cases.push_back({"(C:\\\\d)", literal_string("C:\\d")});
  cases.push_back({"(a\\\\\\(b)", literal_string("a\\(b")});
  cases.push_back({"(a\\rb)", literal_string("a\rb")});
  cases.push_back({"(a\nb)", literal_string("a\nb")});
  cases.push_back({"(\t\f\x00\x80\xFF)"s, literal_string("\t\f\x00\x80\xFF"s)});
  cases.push_back({"(\\r\n\\\\)", literal_string("\r\n\\")});
  expect_all(cases);
}

TEST(SerializeObject, HexStringsUseTwoUpperCaseDigitsPerByte) {
  std::vector<Case> cases;
  cases.push_back({"<>", hex_string("")});
  cases.push_back({"<00AB>", hex_string("\x00\xAB"s)});
  cases.push_back({"<FF107A28>", hex_string("\xFF\x10z(")});
  expect_all(cases);
}

TEST(SerializeObject, IntegersAndReferences) {
  std::vector<Case> cases;
  cases.push_back({"0", 0});
  cases.push_back({"68", 68});
  cases.push_back({"-17", -17});
  cases.push_back({"10", 10});
  cases.push_back({"-1", -1});
  cases.push_back({"1000000", 1000000});
  cases.push_back({"9223372036854775807", std::numeric_limits<std::int64_t>::max()});
  cases.push_back({"-9223372036854775808", std::numeric_limits<std::int64_t>::min()});
  cases.push_back({"-9223372036854775807", std::numeric_limits<std::int64_t>::min() + 1});
  cases.push_back({"5 0 R", ObjectId{5, 0}});
  cases.push_back({"4294967295 65535 R", ObjectId{4294967295u, 65535}});
  cases.push_back({"null", Null{}});
  cases.push_back({"true", true});
  cases.push_back({"false", false});
  expect_all(cases);
}

TEST(SerializeObject, RealsUseShortestRoundTripDigitsInPositionalForm) {
  const std::string forty_four_zeros(44, '0');
  std::vector<Case> cases;
  cases.push_back({"1", 1.0f});
  cases.push_back({"100", 100.0f});
  cases.push_back({"595", 595.0f});
  cases.push_back({"0.5", 0.5f});
  cases.push_back({"-1.5", -1.5f});
  cases.push_back({"0.1", 0.1f});
  cases.push_back({"0.33333334", 1.0f / 3.0f});
  cases.push_back({"123456790", 123456789.0f});
  // From 2^63 on, whole values carry ".0": their digits alone read as an integer out of range.
  cases.push_back({"100000000000000000000.0", 1e20f});
  cases.push_back({"9223371500000000000", 9223371487098961920.0f});  // the float below 2^63
  cases.push_back({"9223372000000000000.0", 9223372036854775808.0f});
  cases.push_back({"-9223372000000000000.0", -9223372036854775808.0f});
  cases.push_back({"10000000000000000000.0", 1e19f});
  cases.push_back({"-1000000000000000000000000000000.0", -1e30f});
  cases.push_back({"0.0000001", 1e-7f});
  cases.push_back({"340282350000000000000000000000000000000.0", FLT_MAX});
  cases.push_back({"-340282350000000000000000000000000000000.0", -FLT_MAX});
  cases.push_back({"0." + forty_four_zeros + "1", std::numeric_limits<float>::denorm_min()});
  cases.push_back({"0.000000000000000000000000000000000000011754944", FLT_MIN});
  cases.push_back({"12.25", 12.25f});
  cases.push_back({"1.5", 1.5f});
  cases.push_back({"16777216", 16777216.0f});
  cases.push_back({"0", 0.0f});
  cases.push_back({"-0", -0.0f});
  expect_all(cases);
}

TEST(SerializeObject, ArraysPutASpaceOnlyBeforeLeadingSpaceKindsAfterTheFirst) {
  std::vector<Case> cases;
  cases.push_back({"[]", Array{}});
  cases.push_back({"[/A 1 2 0 R(s)<00>[3]<<>> null]",
                   make_array(Name("A"), 1, ObjectId{2, 0}, literal_string("s"),
                              hex_string("\x00"s), make_array(3), Dictionary(), Null{})});
  cases.push_back({"[1 2]", make_array(1, 2)});
  cases.push_back({"[1/A]", make_array(1, Name("A"))});
  cases.push_back({"[/A/B]", make_array(Name("A"), Name("B"))});
  cases.push_back({"[(a)(b)]", make_array(literal_string("a"), literal_string("b"))});
  cases.push_back({"[[1][2]]", make_array(make_array(1), make_array(2))});
  cases.push_back({"[null true 1.5 3 0 R]", make_array(Null{}, true, 1.5f, ObjectId{3, 0})});
  cases.push_back({"[false -0/]", make_array(false, -0.0f, Name(""))});
  expect_all(cases);
}

TEST(SerializeObject, DictionariesSpaceValuesByKindAndEscapeKeys) {
  std::vector<Case> cases;
  cases.push_back({"<<>>", Dictionary()});
  cases.push_back({"<</Type/Page/Parent 1 0 R/MediaBox[0 0 595 842]>>",
                   Dictionary::from_pairs({{"Type", Name("Page")},
                                           {"Parent", ObjectId{1, 0}},
                                           {"MediaBox", make_array(0, 0, 595, 842)}})});
  cases.push_back(
      {"<</A<</B<</C 1>>>>>>",
       Dictionary::from_pairs(
           {{"A", Dictionary::from_pairs({{"B", Dictionary::from_pairs({{"C", 1}})}})}})});
  cases.push_back({"<</N null/B true/I -3/R 0.25/S(x)/H<01>/A[]/D<<>>/P 1 0 R/M/>>",
                   Dictionary::from_pairs({{"N", Null{}},
                                           {"B", true},
                                           {"I", -3},
                                           {"R", 0.25f},
                                           {"S", literal_string("x")},
                                           {"H", hex_string("\x01")},
                                           {"A", Array{}},
                                           {"D", Dictionary()},
                                           {"P", ObjectId{1, 0}},
                                           {"M", Name("")}})});
  cases.push_back(
      {"<</A#20B 1/#23/x/#E9(y)/<<>>>>",
       Dictionary::from_pairs(
           {{"A B", 1}, {"#", Name("x")}, {"\xE9", literal_string("y")}, {"", Dictionary()}})});
  expect_all(cases);
}

// A stream has a direct form only as the object itself: nested anywhere, it would be unreadable,
// so writing stops there with an error naming what holds it and the container it sits in.
TEST(SerializeObject, AStreamInsideAnotherValueIsRefusedNamingItsHolder) {
  struct Refusal {
    std::string before;  // what is written before the stream is reached
    std::string innermost;
    Object object;
  };
  std::vector<Refusal> cases;
  cases.push_back({"[", "an array", make_array(make_stream(Dictionary(), "x"), 1)});
  cases.push_back({"<</S", "a dictionary",
                   Dictionary::from_pairs({{"S", Stream{Dictionary(), "", true, std::nullopt}}})});
  cases.push_back({"<</A[1<</B", "a dictionary",
                   Dictionary::from_pairs(
                       {{"A", make_array(1, Dictionary::from_pairs(
                                                {{"B", make_stream(Dictionary(), "")}}))}})});
  // Inside the dictionary of a stream that is itself the object.
  cases.push_back(
      {"<</Inner", "a dictionary",
       make_stream(Dictionary::from_pairs({{"Inner", make_stream(Dictionary(), "")}}), "x")});
  for (const Refusal& refusal : cases) {
    SCOPED_TRACE(refusal.before);
    const std::string tail =
        " holds a stream inside " + refusal.innermost + "; a stream must be an indirect object";
    {
      std::string out;
      CountingSink sink(out);
      const Status status = serialize_object(sink, refusal.object);
      ASSERT_FALSE(status.ok());
      EXPECT_EQ(kind_of(status.error()), IoErrorKind::InvalidInput);
      EXPECT_EQ(display_form(status.error()), "the value" + tail);
      EXPECT_EQ(out, refusal.before);
    }
    std::string out;
    CountingSink sink(out);
    XrefRecord record;
    const Status status = serialize_indirect_object(sink, 12, 3, refusal.object, record);
    ASSERT_FALSE(status.ok());
    EXPECT_EQ(kind_of(status.error()), IoErrorKind::InvalidInput);
    EXPECT_EQ(display_form(status.error()), "object 12 3" + tail);
    EXPECT_EQ(debug_form(status.error()),
              "Custom { kind: InvalidInput, error: \"object 12 3" + tail + "\" }");
    EXPECT_EQ(out, "12 3 obj\n" + refusal.before);
  }
}

TEST(SerializeObject, StreamsAreWrittenAsHeldWhateverTheirLength) {
  std::vector<Case> cases;
  cases.push_back({"<</Length 3>>stream\nabc\nendstream", make_stream(Dictionary(), "abc")});
  cases.push_back({"<</Length 99/Filter/FlateDecode>>stream\nabc\nendstream",
                   Stream{Dictionary::from_pairs({{"Length", 99}, {"Filter", Name("FlateDecode")}}),
                          "abc", true, std::nullopt}});
  cases.push_back({"<<>>stream\n\x00\r\n)\nendstream"s,
                   Stream{Dictionary(), "\x00\r\n)"s, true, std::nullopt}});
  expect_all(cases);
}

struct FrameCase {
  std::uint32_t number;
  std::uint16_t generation;
  std::string expected;
  Object object;
};

TEST(SerializeIndirectObject, FramesSpaceTheObjectByKindAndRecordWhereTheHeaderBegins) {
  std::vector<FrameCase> cases;
  cases.push_back(
      {1, 0, "1 0 obj\n<</Type/Pages/Kids[5 0 R]/Count 1>>\nendobj\n",
       Dictionary::from_pairs(
           {{"Type", Name("Pages")}, {"Kids", make_array(ObjectId{5, 0})}, {"Count", 1}})});
  cases.push_back({2, 0, "2 0 obj\n[1]\nendobj\n", make_array(1)});
  cases.push_back({3, 0, "3 0 obj\n(a)\nendobj\n", literal_string("a")});
  cases.push_back({3, 1, "3 1 obj\n<0A>\nendobj\n", hex_string("\n")});
  cases.push_back({8, 0, "8 0 obj\n/Foo \nendobj\n", Name("Foo")});
  cases.push_back({9, 0, "9 0 obj\n/ \nendobj\n", Name("")});
  cases.push_back({4, 0,
                   "4 0 obj\n<</Length 68>>stream\nBT /F1 24 Tf 100 700 Td (Clean PDF Generated "
                   "for Signing Test) Tj ET\nendstream \nendobj\n",
                   make_stream(Dictionary(),
                               "BT /F1 24 Tf 100 700 Td (Clean PDF Generated for "
                               "Signing Test) Tj ET")});
  cases.push_back({7, 0, "7 0 obj\n 42 \nendobj\n", 42});
  cases.push_back({10, 0, "10 0 obj\n null \nendobj\n", Null{}});
  cases.push_back({11, 0, "11 0 obj\n false \nendobj\n", false});
  cases.push_back({12, 0, "12 0 obj\n -2.5 \nendobj\n", -2.5f});
  cases.push_back({13, 65535, "13 65535 obj\n 6 0 R \nendobj\n", ObjectId{6, 0}});
  cases.push_back({4294967295u, 0, "4294967295 0 obj\n 0 \nendobj\n", 0});

  for (FrameCase& frame : cases) {
    SCOPED_TRACE(frame.expected);
    std::string out = "%PDF-1.7\n";
    CountingSink sink(out);
    sink.count = out.size();
    XrefRecord record;
    ASSERT_TRUE(
        serialize_indirect_object(sink, frame.number, frame.generation, frame.object, record).ok());
    EXPECT_EQ(out, "%PDF-1.7\n" + frame.expected);
    EXPECT_EQ(sink.count, out.size());
    ASSERT_EQ(record.slots.size(), 1u);
    EXPECT_EQ(record.slots.at(frame.number), (XrefSlot{XrefSlotKind::InUse, frame.generation, 9}));
  }
}

TEST(SerializeIndirectObject, RecordingANumberAgainKeepsOnlyTheLaterSlot) {
  std::string out;
  CountingSink sink(out);
  XrefRecord record;
  ASSERT_TRUE(serialize_indirect_object(sink, 3, 0, Object(1), record).ok());
  const std::uint64_t second = sink.count;
  ASSERT_TRUE(serialize_indirect_object(sink, 3, 2, Object(1), record).ok());
  ASSERT_EQ(record.slots.size(), 1u);
  EXPECT_EQ(record.slots.at(3),
            (XrefSlot{XrefSlotKind::InUse, 2, static_cast<std::uint32_t>(second)}));
}

// Offsets are 32-bit: an object starting at 2^32 - 1 still fits, one at 2^32 must not be written.
TEST(SerializeIndirectObject, RefusesAnObjectThatWouldStartBeyondThe32BitOffsetRange) {
  ScriptedDestination destination;
  CountingSink sink(destination.destination());
  XrefRecord record;

  sink.count = 0xFFFFFFFFu;
  ASSERT_TRUE(serialize_indirect_object(sink, 1, 0, Object(5), record).ok());
  EXPECT_EQ(record.slots.at(1).offset, 0xFFFFFFFFu);

  const std::size_t appends = destination.appends;
  sink.count = 0x100000000u;
  const Status refused = serialize_indirect_object(sink, 2, 0, Object(5), record);
  ASSERT_FALSE(refused.ok());
  EXPECT_EQ(kind_of(refused.error()), IoErrorKind::FileTooLarge);
  EXPECT_EQ(destination.appends, appends);
  EXPECT_EQ(record.slots.count(2), 0u);
}

Object nested_sample() {
  return make_array(
      Name("A B"), 1, ObjectId{2, 0}, literal_string("x(y"), hex_string("\x01"),
      Dictionary::from_pairs({{"K", make_array(Null{}, 2.5f)}, {"S", hex_string("data")}}), true);
}

// However deep the failing append sits, the error comes back unchanged and nothing follows it.
TEST(SerializeIndirectObject, TheFirstFailingAppendEndsEverything) {
  const Object object = nested_sample();
  std::string full;
  {
    CountingSink sink(full);
    XrefRecord record;
    ASSERT_TRUE(serialize_indirect_object(sink, 7, 0, object, record).ok());
  }
  ScriptedDestination counter;
  {
    CountingSink sink(counter.destination());
    XrefRecord record;
    ASSERT_TRUE(serialize_indirect_object(sink, 7, 0, object, record).ok());
  }
  ASSERT_EQ(counter.received, full);
  // Each token is an append of its own (a string with escapes is one), so there are many places
  // to fail at.
  ASSERT_GT(counter.appends, 15u);

  for (std::size_t n = 1; n <= counter.appends; ++n) {
    SCOPED_TRACE("failing append " + std::to_string(n));
    ScriptedDestination destination;
    destination.fail_at = n;
    CountingSink sink(destination.destination());
    XrefRecord record;
    const Status status = serialize_indirect_object(sink, 7, 0, object, record);
    ASSERT_FALSE(status.ok());
    EXPECT_TRUE(testing_support::is_scripted(status.error()));
    EXPECT_EQ(destination.appends, n);
    EXPECT_EQ(destination.appends_after_failure, 0u);
    EXPECT_EQ(full.compare(0, destination.received.size(), destination.received), 0);
    EXPECT_LT(destination.received.size(), full.size());
    // The slot is recorded before the first byte, and stays.
    EXPECT_EQ(record.slots.count(7), 1u);
  }
}

}  // namespace
}  // namespace vantril
