// The token and value syntax: every written form read to the right value, malformed input to an
// error at the right offset, and every value the serializer writes read back as it was.
#include "reader/syntax.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "generator/random_document.hpp"
#include "vantril/writer/counting_sink.hpp"
#include "vantril/writer/serializer.hpp"
#include "writer/file_assembler.hpp"
#include "writer/xref_record.hpp"

namespace vantril::reader {
namespace {

void describe_bytes(std::string_view bytes, std::string& out) {
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x21 && byte < 0x7F && c != '\\' && c != '|') {
      out.push_back(c);
    } else {
      static constexpr char digits[] = "0123456789abcdef";
      out += "\\x";
      out.push_back(digits[byte >> 4]);
      out.push_back(digits[byte & 15]);
    }
  }
}

// A value as text that tells every kind and byte apart; reals as the shortest digits that read
// back as the same float.
void describe(const Object& object, std::string& out) {
  switch (object.kind()) {
    case ObjectKind::Null:
      out += "null";
      return;
    case ObjectKind::Boolean:
      out += *object.boolean() ? "true" : "false";
      return;
    case ObjectKind::Integer:
      out += std::to_string(*object.integer());
      return;
    case ObjectKind::Real: {
      char text[64];
      out += "r";
      out.append(text, std::to_chars(text, text + sizeof text, *object.real()).ptr);
      return;
    }
    case ObjectKind::Name:
      out += "/";
      describe_bytes(object.name()->bytes, out);
      return;
    case ObjectKind::String: {
      const bool literal = object.string()->style() == StringStyle::Literal;
      out += literal ? "(" : "<";
      describe_bytes(object.string()->bytes, out);
      out += literal ? ")" : ">";
      return;
    }
    case ObjectKind::Reference:
      out += std::to_string(object.reference()->number) + " " +
             std::to_string(object.reference()->generation) + " R";
      return;
    case ObjectKind::Array:
      out += "[";
      for (const Object& element : *object.array()) {
        if (&element != &object.array()->front()) out += " ";
        describe(element, out);
      }
      out += "]";
      return;
    default:
      out += "<<";
      for (const DictionaryEntry& entry : dictionary_of(object)->iter()) {
        out += "/";
        describe_bytes(entry.key, out);
        out += " ";
        describe(entry.value, out);
        out += " ";
      }
      out += ">>";
      return;
  }
}

std::string describe(const Object& object) {
  std::string out;
  describe(object, out);
  return out;
}

// The serializer's text: two values read the same when it is the same. An integral real is
// written as the integer it reads back as, the real -0 too ("-0", the integer 0): it is written
// here as 0.
std::string serialized(const Object& object) {
  std::string text;
  CountingSink sink(text);
  EXPECT_TRUE(serialize_object(sink, object).ok());
  for (std::size_t at = text.find("-0"); at != std::string::npos; at = text.find("-0", at + 1)) {
    const bool starts = at == 0 || !std::isalnum(static_cast<unsigned char>(text[at - 1]));
    const bool ends =
        at + 2 == text.size() ||
        (text[at + 2] != '.' && !std::isdigit(static_cast<unsigned char>(text[at + 2])));
    if (starts && ends) text.erase(at, 1);
  }
  return text;
}

std::string message_of(const IoError& error) { return display_form(error); }

struct Parsed {
  std::string description;  // or "error: <message>"
  std::size_t end = 0;
  std::vector<Repair> repairs;
};

Parsed parse(std::string_view input, SyntaxContext context = {}) {
  Parsed parsed;
  context.repairs = &parsed.repairs;
  std::size_t position = 0;
  Result<Object> value = parse_value(input, position, context);
  if (!value.ok()) {
    parsed.description = "error: " + message_of(value.error());
    EXPECT_EQ(kind_of(value.error()), IoErrorKind::InvalidData) << input;
    return parsed;
  }
  parsed.description = describe(value.value());
  parsed.end = position;
  return parsed;
}

struct ValueCase {
  std::string_view input;
  std::string_view expected;
  // Where the value ends; 0 for the whole input.
  std::size_t end = 0;
};

TEST(SyntaxValues, EveryWrittenFormReadsAsItsValue) {
  using namespace std::string_view_literals;
  const ValueCase cases[] = {
      // Numbers.
      {"17", "17"},
      {"+17", "17"},
      {"-0", "0"},
      {"007", "7"},
      {"-.5", "r-0.5"},
      {"4.", "r4"},
      {"0.0", "r0"},
      {"-0.0", "r-0"},
      {".1", "r0.1"},
      {"3.14159", "r3.14159"},
      {"0.333333343267", "r0.33333334"},
      {"16777217.0", "r16777216"},
      {"0.0000000000000000000000000000000000000000000014", "r1e-45"},
      {"1234567890.123456789", "r1234567936"},
      {"9223372036854775807", "9223372036854775807"},
      {"-9223372036854775808", "-9223372036854775808"},
      {"0000000000000000000000000000012", "12"},
      {"-000000000000000000000009223372036854775808", "-9223372036854775808"},
      // Integers beyond 64 bits read as reals (a repair, checked below).
      {"9223372036854775808", "r9.223372e+18"},
      {"-9223372036854775809", "r-9.223372e+18"},
      {"123456789012345678901234567890", "r1.2345679e+29"},
      // Names.
      {"/Type", "/Type"},
      {"/", "/"},
      {"/A#20B", "/A\\x20B"},
      {"/A#2", "/A#2"},
      {"/A#G1", "/A#G1"},
      {"/A#", "/A#"},
      {"/#00", "/#00"},
      {"/\x80\xff", "/\\x80\\xff"},
      {"/a/b", "/a", 2},
      {"/a%comment", "/a", 2},
      // Literal strings.
      {"()", "()"},
      {"(a(b)c)", "(a(b)c)"},
      {R"((\n\r\t\b\f\(\)\\))", "(\\x0a\\x0d\\x09\\x08\\x0c()\\x5c)"},
      {R"((\101\1012\0\12))", "(AA2\\x00\\x0a)"},
      {R"((\777\400))", "(\\xff\\x00)"},
      {R"((\q\8))", "(q8)"},
      {"(\\)", "error: offset 0: the literal string is not closed"},
      {"(a\\\nb)", "(ab)"},
      {"(a\\\r\nb)", "(ab)"},
      {"(a\\\rb)", "(ab)"},
      {"(a\r\nb)", "(a\\x0ab)"},
      {"(a\rb)", "(a\\x0ab)"},
      {"(a\nb)", "(a\\x0ab)"},
      {"(a\n\rb)", "(a\\x0a\\x0ab)"},
      {"(% not a comment)", "(%\\x20not\\x20a\\x20comment)"},
      {"(\x00\xff)"sv, "(\\x00\\xff)"},
      // Hexadecimal strings.
      {"<48656C6c6F>", "<Hello>"},
      {"<48 65\n6C\t6c\f6\0F\r>"sv, "<Hello>"},
      {"<414>", "<A@>"},
      {"<>", "<>"},
      {"< >", "<>"},
      // Keywords and references.
      {"true", "true"},
      {"false", "false"},
      {"null", "null"},
      {"1 0 R", "1 0 R"},
      {"0 0 R", "0 0 R"},
      {"4294967295 65535 R", "4294967295 65535 R"},
      {"12 0 R/a", "12 0 R", 6},
      {"12\n%c\n0%c\rR", "12 0 R"},
      {"1 0 Rx", "1", 1},
      {"1 0 obj", "1", 1},
      {"-1 0 R", "-1", 2},
      {"+1 0 R", "1", 2},
      {"1 0.0 R", "1", 1},
      {"1 00000000000000000000002 R", "1 2 R"},
      {"[9 99999 100000]", "[9 99999 100000]"},
      // The lookahead's integers and the white space it went past are read on from where it
      // stopped: a reference after two integers, comments between, an end right after.
      {"[1 2 %c\n 3 R 4]", "[1 2 3 R 4]"},
      {"[1 2 3 4 R]", "[1 2 3 4 R]"},
      {"[1 2\n]", "[1 2]"},
      {"[1 -2 3]", "[1 -2 3]"},
      {"<< /A 1 /B 2 >>", "<</A 1 /B 2 >>"},
      {"[1 2]  ", "[1 2]", 5},
      {"7 8", "7", 1},
      // A dictionary inside an array inside a dictionary inside an array: each closing bracket
      // hands the value to its own container, which then waits for a key or an element.
      {"[<</A[1<</B 2>>]/C 3>>4]", "[<</A [1 <</B 2 >>] /C 3 >> 4]"},
      // White space and comments, every white-space byte.
      {"\x00\t\n\f\r 5"sv, "5"},
      {"%comment\n5", "5"},
      {"%comment\r5", "5"},
      {"% a\r\n% b\n 5 ", "5", 11},
      // Arrays and dictionaries.
      {"[]", "[]"},
      {"[1 2 3]", "[1 2 3]"},
      {"[1 2 0 R]", "[1 2 0 R]"},
      {"[1 2 3 R]", "[1 2 3 R]"},
      {"[1%c]\n2]", "[1 2]"},
      {"[/a/b(c)<64>[true]null]", "[/a /b (c) <d> [true] null]"},
      {"[0.5 .25 1]", "[r0.5 r0.25 1]"},
      {"<<>>", "<<>>"},
      {"<</A 1/B[2]/C<</D(x)>>/E/F>>", "<</A 1 /B [2] /C <</D (x) >> /E /F >>"},
      {"<</P 2 0 R/Q 3>>", "<</P 2 0 R /Q 3 >>"},
      {"<</A#20B 1>>", "<</A\\x20B 1 >>"},
      {"<< /A 1 /A 2 /B 3 /A 4 >>", "<</A 4 /B 3 >>"},
  };
  for (const ValueCase& c : cases) {
    const Parsed parsed = parse(c.input);
    EXPECT_EQ(parsed.description, c.expected) << "input: " << c.input;
    if (parsed.description.rfind("error", 0) != 0) {
      EXPECT_EQ(parsed.end, c.end == 0 ? c.input.size() : c.end) << "input: " << c.input;
    }
  }
}

TEST(SyntaxValues, MalformedInputFailsAtItsOffset) {
  const ValueCase cases[] = {
      {"", "offset 0: the input ends where a value should start"},
      {" %c", "offset 3: the input ends where a value should start"},
      {"--5", "offset 0: malformed number '--5'"},
      {"1e5", "offset 0: malformed number '1e5'"},
      {"1.2.3", "offset 0: malformed number '1.2.3'"},
      {"-", "offset 0: malformed number '-'"},
      {".", "offset 0: malformed number '.'"},
      {"12abc", "offset 0: malformed number '12abc'"},
      {"[1 2", "offset 4: the input ends inside the array opened at offset 0"},
      {"[<</A 1", "offset 7: the input ends inside the dictionary opened at offset 1"},
      {"<</A>>", "offset 4: the dictionary ends after a key without a value"},
      {"<<1 2>>", "offset 2: a dictionary key must be a name, not '1'"},
      {"<<(a) 2>>", "offset 2: a dictionary key must be a name, not '('"},
      {"<</A 1]", "offset 6: ']' closes a dictionary"},
      {"[1>>", "offset 2: '>>' without a dictionary"},
      {"]", "offset 0: ']' without an array"},
      {">>", "offset 0: '>>' without a dictionary"},
      {"[1 >]", "offset 3: unexpected '>'"},
      {"(abc", "offset 0: the literal string is not closed"},
      {"<41", "offset 0: the hexadecimal string is not closed"},
      {"<4G>", "offset 2: a hexadecimal string holds 'G'"},
      {"truex", "offset 0: unknown keyword 'truex'"},
      {"endobj", "offset 0: unknown keyword 'endobj'"},
      {"[1 R]", "offset 3: unknown keyword 'R'"},
      {"[1 2  x]", "offset 6: unknown keyword 'x'"},
      // Values in flight when the input ends, strings on the heap among them: the next parse on
      // this thread starts from empty storage (the sanitizer build sees a leak otherwise).
      {"[(a string longer than fourteen bytes) <</A (another long string here)",
       "offset 70: the input ends inside the dictionary opened at offset 39"},
      {"<</A 1 2>>", "offset 7: a dictionary key must be a name, not '2'"},
      {"[1 9223372036854775808 R]", "offset 23: unknown keyword 'R'"},
      {"{", "offset 0: unexpected '{'"},
      {")", "offset 0: unexpected ')'"},
      {"4294967296 0 R", "offset 0: the reference 4294967296 0 R is out of range"},
      {"1 65536 R", "offset 0: the reference 1 65536 R is out of range"},
  };
  for (const ValueCase& c : cases) {
    EXPECT_EQ(parse(c.input).description, "error: " + std::string(c.expected))
        << "input: " << c.input;
  }
  // Offsets count from the origin, and inside an object stream name it.
  SyntaxContext context;
  context.origin = 1000;
  EXPECT_EQ(parse("[1 2", context).description,
            "error: offset 1004: the input ends inside the array opened at offset 1000");
  context.origin = 0;
  context.container = ObjectId{7, 0};
  EXPECT_EQ(parse("  ]", context).description,
            "error: object stream 7 0, offset 2: ']' without an array");
}

// Every finite float, as the serializer writes it, reads back with the same bits (or, when
// integral, as the integer of the same value): the quick path for short reals and the general
// one agree with correct rounding.
TEST(SyntaxValues, EveryWrittenRealReadsBackExactly) {
  std::mt19937 random(7);
  for (int round = 0; round < 200000; ++round) {
    const float real = std::bit_cast<float>(static_cast<std::uint32_t>(random()));
    if (!std::isfinite(real)) continue;
    const std::string text = serialized(Object(real));
    std::size_t position = 0;
    Result<Object> read = parse_value(text, position, SyntaxContext{});
    ASSERT_TRUE(read.ok()) << text;
    if (const float* back = read.value().real()) {
      ASSERT_EQ(std::bit_cast<std::uint32_t>(*back), std::bit_cast<std::uint32_t>(real)) << text;
    } else {
      ASSERT_NE(read.value().integer(), nullptr) << text;
      ASSERT_EQ(static_cast<float>(*read.value().integer()), real) << text;
    }
  }
}

TEST(SyntaxValues, NumbersBeyondTheirRangeAndNamesWithABadEscapeAreRepaired) {
  struct Case {
    std::string_view input;
    std::string_view expected;
    std::uint64_t repair_offset;
  };
  // Built by appending: g++ 12 at -O3 flags the copy in a concatenation of temporaries.
  std::string huge_integer = "1";
  huge_integer.append(40, '0');
  std::string huge_real = "-";
  huge_real.append(40, '9').append(".5");
  const Case cases[] = {
      {"[1 9223372036854775808]", "[1 r9.223372e+18]", 3},
      {huge_integer, "r3.4028235e+38", 0},
      {huge_real, "r-3.4028235e+38", 0},
      // A '#' that starts no escape, and the escape of a NUL, which no name may hold, stay
      // as they are written.
      {"[/A#2]", "[/A#2]", 1},
      {"<</K#G1 1>>", "<</K#G1 1 >>", 2},
      {"/#00#41", "/#00A", 0},
  };
  for (const Case& c : cases) {
    SyntaxContext context;
    context.origin = 50;
    const Parsed parsed = parse(c.input, context);
    EXPECT_EQ(parsed.description, c.expected) << c.input;
    ASSERT_FALSE(parsed.repairs.empty()) << c.input;
    EXPECT_EQ(parsed.repairs.front().offset, 50 + c.repair_offset) << c.input;
  }
  // In range, and sound escapes: no repair.
  EXPECT_TRUE(parse("[9223372036854775807 340282350000000000000000000000000000000.0 /A#20#ff]")
                  .repairs.empty());
}

// Nesting to any depth fails (or reads) without recursion; the limit is the context's.
TEST(SyntaxValues, NestingIsBoundedWithoutRecursion) {
  const std::string deep(1'000'000, '[');
  EXPECT_EQ(parse(deep).description,
            "error: offset 1000: arrays and dictionaries nested more than 1000 deep");
  std::string deep_dictionaries;
  for (int i = 0; i < 300'000; ++i) deep_dictionaries += "<</A";
  EXPECT_EQ(parse(deep_dictionaries).description,
            "error: offset 4000: arrays and dictionaries nested more than 1000 deep");

  // With the limit raised, a million levels read, and the value goes away without recursion too.
  SyntaxContext context;
  context.max_depth = 2'000'000;
  EXPECT_EQ(parse(deep, context).description,
            "error: offset 1000000: the input ends inside the array opened at offset 999999");
  const std::string closed = deep + std::string(1'000'000, ']');
  std::size_t position = 0;
  Result<Object> value = parse_value(closed, position, context);
  ASSERT_TRUE(value.ok());
  EXPECT_EQ(position, closed.size());
  std::size_t depth = 0;
  for (const Object* at = &value.value(); at->array() != nullptr && !at->array()->empty();
       at = &at->array()->front()) {
    ++depth;
  }
  EXPECT_EQ(depth, 999'999u);

  context.max_depth = 3;
  EXPECT_EQ(parse("[[[1]]]", context).description, "[[[1]]]");
  EXPECT_EQ(parse("[[<<>>]]]", context).description, "[[<<>>]]");
  EXPECT_EQ(parse("[[[[1]]]]", context).description,
            "error: offset 3: arrays and dictionaries nested more than 3 deep");
}

// Every indirect object the writer frames reads back: its header, its value or stream
// dictionary, where its data starts and ends, and the keyword after it.
TEST(SyntaxObjects, EverySerializedIndirectObjectReadsBack) {
  for (std::uint64_t seed = 1; seed <= 300; ++seed) {
    testing_support::Entropy entropy = testing_support::Entropy::seeded(seed);
    const Document document = testing_support::random_document(entropy);
    XrefRecord record = start_record(document);
    for (const auto& [id, object] : document.object_table) {
      std::string text = "% before\r\n";
      CountingSink sink(text);
      ASSERT_TRUE(serialize_indirect_object(sink, id.number, id.generation, object, record).ok());
      const std::optional<ObjectHeader> header = parse_object_header(text, 0);
      ASSERT_TRUE(header.has_value()) << text;
      EXPECT_EQ(header->id, id);
      std::vector<Repair> repairs;
      SyntaxContext context;
      context.repairs = &repairs;
      Result<IndirectBody> body = parse_indirect_body(text, header->body, context);
      ASSERT_TRUE(body.ok()) << text << "\n" << message_of(body.error());
      EXPECT_TRUE(repairs.empty()) << text << "\n" << repairs.front().description;
      if (const Stream* stream = object.stream()) {
        ASSERT_TRUE(body.value().stream_data.has_value()) << text;
        const std::size_t data = *body.value().stream_data;
        EXPECT_EQ(text.substr(data, stream->data.size()), std::string_view(stream->data));
        EXPECT_TRUE(endstream_follows(text, data + stream->data.size()));
        // "endstream" may occur inside random data: the end found is then earlier, never later.
        const std::optional<std::size_t> end = find_stream_end(text, data);
        ASSERT_TRUE(end.has_value());
        const std::string_view bytes = stream->data;
        if (bytes.find("endstream") == std::string_view::npos) {
          // Data ending in CR leaves "CR LF endstream", whose end of line is read as both.
          const bool ends_in_cr = !bytes.empty() && bytes.back() == '\r';
          EXPECT_EQ(*end, data + bytes.size() - (ends_in_cr ? 1 : 0)) << text;
        } else {
          EXPECT_LE(*end, data + stream->data.size());
        }
        EXPECT_EQ(serialized(body.value().value), serialized(clone(stream->stream_dictionary)));
      } else {
        EXPECT_FALSE(body.value().stream_data.has_value());
        EXPECT_EQ(body.value().end, text.size() - 1) << text;  // the writer's last line feed
        EXPECT_EQ(serialized(body.value().value), serialized(object));
      }
    }
  }
}

TEST(SyntaxObjects, ObjectHeaders) {
  struct Case {
    std::string_view input;
    std::optional<ObjectId> id;
    std::size_t body = 0;
  };
  const Case cases[] = {
      {"1 0 obj", ObjectId{1, 0}, 7},
      {"1 0 obj<<", ObjectId{1, 0}, 7},
      {" \r\n%c\n12 3\tobj\n", ObjectId{12, 3}, 14},
      {"12%a\n3%b\nobj[", ObjectId{12, 3}, 12},
      {"4294967295 65535 obj", ObjectId{4294967295u, 65535}, 20},
      {"0000000001 00000 obj", ObjectId{1, 0}, 20},
      {"4294967296 0 obj", std::nullopt},
      {"00000000001 0 obj", std::nullopt},
      {"1 65536 obj", std::nullopt},
      {"1 000000 obj", std::nullopt},
      {"1 0obj", std::nullopt},
      {"1 0 objx", std::nullopt},
      {"1 0 ob", std::nullopt},
      {"10 obj", std::nullopt},
      {"-1 0 obj", std::nullopt},
      {"1 -0 obj", std::nullopt},
      {"1.0 0 obj", std::nullopt},
      {"1 0 R", std::nullopt},
      {"1 0", std::nullopt},
      {"", std::nullopt},
  };
  for (const Case& c : cases) {
    const std::optional<ObjectHeader> header = parse_object_header(c.input, 0);
    ASSERT_EQ(header.has_value(), c.id.has_value()) << c.input;
    if (!header) continue;
    EXPECT_EQ(header->id, *c.id) << c.input;
    EXPECT_EQ(header->body, c.body) << c.input;
  }
  EXPECT_FALSE(parse_object_header("1 0 obj", 7).has_value());
  EXPECT_FALSE(parse_object_header("1 0 obj", 100).has_value());
}

TEST(SyntaxObjects, IndirectBodies) {
  struct Case {
    std::string_view input;
    std::string_view value;  // or the error
    std::optional<std::size_t> stream_data;
    std::size_t end;
    std::string_view repair;  // empty for none
  };
  const Case cases[] = {
      {" 5\nendobj\n", "5", std::nullopt, 9, ""},
      {"(a)endobj", "(a)", std::nullopt, 9, ""},
      {"1 0 R%c\rendobj", "1 0 R", std::nullopt, 14, ""},
      {"<</Length 3>>\nstream\nabc", "<</Length 3 >>", 21, 21, ""},
      {"<<>>stream\r\nabc", "<<>>", 12, 12, ""},
      {"<<>> stream\rabc", "<<>>", 12, 12, "offset 11: 'stream' is followed by a carriage"},
      {"<<>>stream  \r\nabc", "<<>>", 14, 14, "offset 10: white space between 'stream'"},
      {"<<>>streamabc", "<<>>", 10, 10, "offset 10: 'stream' is not followed by an end of line"},
      {"<<>>stream", "<<>>", 10, 10, "offset 10: 'stream' is not followed"},
      {"5 6 endobj", "5", std::nullopt, 1, "offset 2: the object has no 'endobj'"},
      {"[1]\n2 0 obj", "[1]", std::nullopt, 3, "offset 4: the object has no 'endobj'"},
      {"[1] ", "[1]", std::nullopt, 3, "offset 4: the object has no 'endobj'"},
      {"5 endobjx", "5", std::nullopt, 1, "offset 2: the object has no 'endobj'"},
      {"5 stream\n", "error: offset 2: 'stream' follows a value that is not a dictionary",
       std::nullopt, 0, ""},
      {"<</A 1 endobj", "error: offset 7: a dictionary key must be a name, not 'endobj'",
       std::nullopt, 0, ""},
  };
  for (const Case& c : cases) {
    std::vector<Repair> repairs;
    SyntaxContext context;
    context.repairs = &repairs;
    Result<IndirectBody> body = parse_indirect_body(c.input, 0, context);
    if (!body.ok()) {
      EXPECT_EQ("error: " + message_of(body.error()), c.value) << c.input;
      continue;
    }
    EXPECT_EQ(describe(body.value().value), c.value) << c.input;
    EXPECT_EQ(body.value().stream_data, c.stream_data) << c.input;
    EXPECT_EQ(body.value().end, c.end) << c.input;
    if (c.repair.empty()) {
      EXPECT_TRUE(repairs.empty()) << c.input;
    } else {
      ASSERT_EQ(repairs.size(), 1u) << c.input;
      EXPECT_EQ(("offset " + std::to_string(repairs[0].offset) + ": " + repairs[0].description)
                    .rfind(c.repair, 0),
                0u)
          << c.input << ": " << repairs[0].description;
    }
  }
}

TEST(SyntaxObjects, StreamEnds) {
  struct Case {
    std::string_view input;
    std::size_t data_start;
    std::optional<std::size_t> end;
  };
  const Case cases[] = {
      {"abc\r\nendstream", 0, 3}, {"abc\nendstream", 0, 3},       {"abc\rendstream", 0, 3},
      {"abcendstream", 0, 3},     {"abc\n\nendstream", 0, 4},     {"\nendstream", 0, 0},
      {"\r\nendstream", 1, 1},    {"endstream\nendstream", 5, 9}, {"abc endstrea", 0, std::nullopt},
      {"abc", 9, std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(find_stream_end(c.input, c.data_start), c.end) << c.input;
  }
  EXPECT_TRUE(endstream_follows("abc\nendstream", 3));
  EXPECT_TRUE(endstream_follows("abc\r\n \tendstream", 3));
  EXPECT_TRUE(endstream_follows("abcendstream", 3));
  EXPECT_FALSE(endstream_follows("abc\nendstream", 2));
  EXPECT_FALSE(endstream_follows("abc\nendobj", 3));
  EXPECT_FALSE(endstream_follows("abc\nendstrea", 3));
  EXPECT_FALSE(endstream_follows("abc", 4));
}

TEST(SyntaxObjects, ObjectStreamHeaders) {
  using Pairs = std::vector<std::pair<std::uint32_t, std::size_t>>;
  struct Case {
    std::string_view content;
    std::size_t count;
    std::size_t first;
    std::string_view error;  // empty when it reads
    Pairs pairs;
  };
  const Case cases[] = {
      {"10 0 11 4 (a) (b)", 2, 10, "", Pairs{{10, 0}, {11, 4}}},
      {"%c\n10\n0\r11 4 (a) (b)", 2, 13, "", Pairs{{10, 0}, {11, 4}}},
      {"10 0 11 4 (a) (b)", 1, 10, "", Pairs{{10, 0}}},
      {"10 0 (a)", 0, 5, "", Pairs{}},
      {"10 0 11 4 (a) (b)", 3, 10, "offset 10: the header lists 2 of 3 objects", {}},
      {"10 0 11 9 (a) (b)", 2, 10, "offset 9: object 11 at offset 9 lies past the content", {}},
      {"10 0 (a)", 1, 9, "offset 0: the first object's offset 9 is past the content's 8 bytes", {}},
      {"10 -1 (a)",
       1,
       6,
       "offset 3: the header holds something other than an unsigned integer",
       {}},
      {"10 0.5 (a)", 1, 7, "offset 3: the header holds something other", {}},
      {"4294967296 0 (a)", 1, 13, "offset 12: object number 4294967296 is out of range", {}},
      // Past 19 digits only leading zeros keep a number in range.
      {"00000000000000000000010 0 (a)", 1, 26, "", Pairs{{10, 0}}},
      {"99999999999999999999 0 (a)", 1, 23, "offset 0: the header holds something other", {}},
      {"9223372036854775808 0 (a)", 1, 22, "offset 0: the header holds something other", {}},
      {"10 0 (a)", 1000000000000, 5, "offset 5: the header lists 1 of 1000000000000", {}},
  };
  for (const Case& c : cases) {
    SyntaxContext context;
    auto pairs = parse_object_stream_header(c.content, c.count, c.first, context);
    if (c.error.empty()) {
      ASSERT_TRUE(pairs.ok()) << c.content << ": " << message_of(pairs.error());
      EXPECT_EQ(pairs.value(), c.pairs) << c.content;
    } else {
      ASSERT_FALSE(pairs.ok()) << c.content;
      EXPECT_EQ(message_of(pairs.error()).rfind(c.error, 0), 0u)
          << c.content << ": " << message_of(pairs.error());
    }
  }
}

// Hostile input: every prefix of sound objects and random bytes end in a value or an error,
// never a crash, a hang or a read past the input (which the sanitizer builds would report).
TEST(SyntaxHostile, TruncatedAndRandomInputEndsInAValueOrAnError) {
  const std::string_view samples[] = {
      "<</Type/Annot/Subtype/Square/Rect[10 20 110 120]/P 2 0 R/C[0.5 0.25 1]"
      "/Border[0 0 1]/NM(annot-\\(1\\)\\101\r\n)/F 4/H<41 42 4>/N#20a true/Z null>>",
      "[1 0 R[/a#20b<</k(v)>>]-.5 +17 4. (x\\\ny)%c\n<>]",
  };
  for (const std::string_view sample : samples) {
    const Parsed whole = parse(sample);
    ASSERT_EQ(whole.description.rfind("error", 0), std::string::npos) << whole.description;
    ASSERT_EQ(whole.end, sample.size());
    // A container cut anywhere is unclosed: no prefix may read as a value.
    for (std::size_t length = 0; length < sample.size(); ++length) {
      const std::string prefix(sample.substr(0, length));
      const Parsed cut = parse(prefix);
      EXPECT_EQ(cut.description.rfind("error: offset ", 0), 0u) << prefix;
    }
  }

  // Random bytes drawn mostly from the syntax's own: whatever reads as a value must be written
  // and read back the same.
  std::mt19937_64 random(20261208);
  const std::string_view alphabet = "[]<<>>()/\\#%R 0123456789.+-eEtrufalsn\n\r\t\f";
  for (int round = 0; round < 20000; ++round) {
    std::string input(random() % 40, ' ');
    for (char& c : input) {
      c = random() % 8 == 0 ? static_cast<char>(random() & 0xFF)
                            : alphabet[random() % alphabet.size()];
    }
    std::size_t position = 0;
    Result<Object> value = parse_value(input, position, SyntaxContext{});
    if (!value.ok()) continue;
    ASSERT_LE(position, input.size());
    std::string text;
    CountingSink sink(text);
    if (!serialize_object(sink, value.value()).ok()) continue;
    std::size_t again = 0;
    Result<Object> reread = parse_value(text, again, SyntaxContext{});
    ASSERT_TRUE(reread.ok()) << input << " -> " << text;
    EXPECT_EQ(serialized(reread.value()), serialized(value.value())) << input;
  }
}

}  // namespace
}  // namespace vantril::reader
