// Reals that are NaN or infinite and names or keys holding a NUL byte have no PDF token: every
// way of writing a value refuses them with one message naming the holder and the value, and
// writes none of the refused object's bytes (a described value: none past the refused call).
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "support/describe_value.hpp"
#include "vantril/model/document.hpp"
#include "vantril/stream_writer.hpp"
#include "vantril/writer/save.hpp"
#include "vantril/writer/serializer.hpp"
#include "vantril/writer/value_writer.hpp"
#include "writer_test_support.hpp"

namespace vantril {
namespace {

using namespace std::string_literals;

constexpr float nan = std::numeric_limits<float>::quiet_NaN();
constexpr float infinity = std::numeric_limits<float>::infinity();

struct BadValue {
  const char* what;
  std::function<Object()> make;
  // The value as the message shows it.
  std::string shown;
};

const std::vector<BadValue>& bad_values() {
  static const std::vector<BadValue> values = {
      {"NaN", [] { return Object(nan); }, "the real NaN"},
      {"-NaN", [] { return Object(-nan); }, "the real NaN"},
      {"infinity", [] { return Object(infinity); }, "the real infinity"},
      {"-infinity", [] { return Object(-infinity); }, "the real -infinity"},
      {"a NUL in a name", [] { return Object(Name("a\0b"s)); }, "a name with a NUL byte (/a#00b)"},
      {"a NUL in a key",
       [] {
         return Object(Dictionary::from_pairs({{"a\0b"s, 1}}));
       },
       "a dictionary key with a NUL byte (/a#00b)"},
  };
  return values;
}

// Where the bad value sits in the object: the room-formed writer takes the first three, the
// token-by-token writer the deep and the large ones.
struct Placement {
  const char* what;
  std::function<Object(Object)> hold;
};

Object nested(Object value, int levels) {
  for (int i = 0; i < levels; ++i) value = make_array(i, std::move(value));
  return value;
}

Object after_integers(Object value) {
  Array array;
  for (int i = 0; i < 3000; ++i) array.push_back(Object(i * 1000));
  array.push_back(std::move(value));
  return Object(std::move(array));
}

const std::vector<Placement>& placements() {
  static const std::vector<Placement> all = {
      {"as the value", [](Object value) { return value; }},
      {"in an array", [](Object value) { return make_array(1, Name("N"), std::move(value)); }},
      {"in a dictionary in an array",
       [](Object value) {
         return make_array(Dictionary::from_pairs({{"K", 2}, {"V", std::move(value)}}));
       }},
      {"twelve levels deep", [](Object value) { return nested(std::move(value), 12); }},
      {"after 3000 integers", [](Object value) { return after_integers(std::move(value)); }},
  };
  return all;
}

std::string refusal(std::string_view holder, const BadValue& bad) {
  return std::string(holder) + " holds " + bad.shown + ", which PDF cannot write";
}

void expect_refused(const Status& status, const std::string& message) {
  ASSERT_FALSE(status.ok());
  EXPECT_EQ(kind_of(status.error()), IoErrorKind::InvalidInput);
  EXPECT_EQ(display_form(status.error()), message);
}

// None of the texts the old writer gave these values.
void expect_no_bad_token(const std::string& out) {
  EXPECT_EQ(out.find("NaN"), std::string::npos);
  EXPECT_EQ(out.find("inf"), std::string::npos);
  EXPECT_EQ(out.find("#00"), std::string::npos);
}

// Objects 1 to 3 and a content stream, with the value under `number` when given.
Document document_with(std::optional<Object> value, std::uint32_t number = 12) {
  Document document = create_versioned("1.7");
  put_object(document, {1, 0}, Dictionary::from_pairs({{"Type", Name("Catalog")}}));
  put_object(document, {2, 0}, make_array(1, 2.5f, Name("x")));
  put_object(document, {3, 0}, make_stream(Dictionary(), std::string(4000, 'q')));
  document.trailer.set("Root", ObjectId{1, 0});
  if (value.has_value()) put_object(document, {number, 0}, std::move(*value));
  return document;
}

struct SavePath {
  const char* what;
  std::optional<SaveOptions> options;
  XrefForm form;
};

std::vector<SavePath> save_paths() {
  std::vector<SavePath> paths = {
      {"plain, stream form", std::nullopt, XrefForm::XrefStreamForm},
      {"plain, table form", std::nullopt, XrefForm::XrefTableForm},
      {"default options, table form", SaveOptions{}, XrefForm::XrefTableForm},
      {"object streams", SaveOptions{.object_streams = true, .objects_per_stream = 2},
       XrefForm::XrefStreamForm},
  };
  if (compression_available()) {
    paths.push_back({"compressed object streams",
                     SaveOptions{.compression_level = 1, .object_streams = true},
                     XrefForm::XrefStreamForm});
  }
  return paths;
}

Result<std::string> write_in_memory(Document& document, const SavePath& path) {
  document.xref_state.xref_form = path.form;
  std::string out;
  CountingSink sink(out);
  const Status status = path.options.has_value() ? write_document(document, sink, *path.options)
                                                 : write_document(document, sink);
  if (!status.ok()) return status.error();
  return out;
}

// A refused object in a save: the message names it, and the file holds no byte of it: what was
// written is the start of the same save without it (which writes everything else in the same
// order).
TEST(UnwritableValue, ASaveRefusesItNamingTheObject) {
  for (const SavePath& path : save_paths()) {
    SCOPED_TRACE(path.what);
    Document good = document_with(std::nullopt);
    const Result<std::string> good_file = write_in_memory(good, path);
    ASSERT_TRUE(good_file.ok());
    for (const BadValue& bad : bad_values()) {
      for (const Placement& placement : placements()) {
        SCOPED_TRACE(std::string(bad.what) + " " + placement.what);
        Document document = document_with(placement.hold(bad.make()));
        document.xref_state.xref_form = path.form;
        std::string out;
        CountingSink sink(out);
        expect_refused(path.options.has_value() ? write_document(document, sink, *path.options)
                                                : write_document(document, sink),
                       refusal("object 12 0", bad));
        EXPECT_EQ(good_file.value().compare(0, out.size(), out), 0);
        EXPECT_EQ(out.find("12 0 obj"), std::string::npos);
        expect_no_bad_token(out);
      }
    }
  }
}

// A stream's dictionary is checked as any other value, compressed or not.
TEST(UnwritableValue, AStreamDictionaryIsCheckedOnEveryPath) {
  for (const SavePath& path : save_paths()) {
    SCOPED_TRACE(path.what);
    for (const BadValue& bad : bad_values()) {
      SCOPED_TRACE(bad.what);
      Document document = document_with(make_stream(
          Dictionary::from_pairs({{"X", make_array(bad.make())}}), std::string(5000, 'z')));
      const Result<std::string> out = write_in_memory(document, path);
      ASSERT_FALSE(out.ok());
      EXPECT_EQ(display_form(out.error()), refusal("object 12 0", bad));
    }
  }
}

// In the trailer the refusal comes before the cross-reference section: the file ends with the
// body, exactly as the same save without the bad entry writes it.
TEST(UnwritableValue, ASaveRefusesItInTheTrailerBeforeTheSection) {
  for (const SavePath& path : save_paths()) {
    SCOPED_TRACE(path.what);
    Document good = document_with(std::nullopt);
    const Result<std::string> good_file = write_in_memory(good, path);
    ASSERT_TRUE(good_file.ok());
    const std::size_t startxref = good_file.value().rfind("startxref\n");
    ASSERT_NE(startxref, std::string::npos);
    const std::size_t body_end = std::stoul(good_file.value().substr(startxref + 10));
    for (const BadValue& bad : bad_values()) {
      SCOPED_TRACE(bad.what);
      Document document = document_with(std::nullopt);
      document.xref_state.xref_form = path.form;
      document.trailer.set("Info", placements()[2].hold(bad.make()));
      std::string written;
      CountingSink sink(written);
      expect_refused(path.options.has_value() ? write_document(document, sink, *path.options)
                                              : write_document(document, sink),
                     refusal("the trailer", bad));
      EXPECT_EQ(written, good_file.value().substr(0, body_end));
    }
  }
}

TEST(UnwritableValue, SaveToPathRefusesItWithNothingOfTheObjectInTheFile) {
  const auto directory = testing_support::fresh_directory("UnwritableValue");
  const auto file = directory / "refused.pdf";
  for (const BadValue& bad : bad_values()) {
    SCOPED_TRACE(bad.what);
    for (bool with_options : {false, true}) {
      Document document = document_with(placements()[1].hold(bad.make()));
      const Result<OutputFile> saved = with_options
                                           ? save_to_path(document, file.string(), SaveOptions{})
                                           : save_to_path(document, file.string());
      expect_refused(saved.status(), refusal("object 12 0", bad));
      const std::string written = testing_support::read_file(file);
      EXPECT_NE(written.find("3 0 obj"), std::string::npos);
      EXPECT_EQ(written.find("12 0 obj"), std::string::npos);
    }
  }
}

// Through the output file's buffer: whether the refused object starts early or late in the
// buffer, fits what is left of it, fills it whole or runs past it, the file ends where the object
// would have started, with everything before it.
TEST(UnwritableValue, ARefusedObjectLeavesNothingInTheFileWhereverItFallsInTheBuffer) {
  const auto directory = testing_support::fresh_directory("UnwritableValueBuffer");
  const auto file = directory / "refused.pdf";
  const BadValue& bad = bad_values().front();
  for (const std::size_t padding : {0u, 3000u, 7000u, 8100u, 8180u}) {
    for (const int integers : {0, 300, 1400, 3000}) {
      SCOPED_TRACE("padding " + std::to_string(padding) + ", " + std::to_string(integers) +
                   " integers");
      Array elements;
      for (int i = 0; i < integers; ++i) elements.push_back(Object(i * 1000));
      Document good = document_with(std::nullopt);
      put_object(good, {4, 0}, literal_string(std::string(padding, 'p')));
      std::string good_file;
      CountingSink sink(good_file);
      ASSERT_TRUE(write_document(good, sink).ok());
      // Everything before its cross-reference section: the body the refused save had written.
      const std::size_t body_end =
          std::stoul(good_file.substr(good_file.rfind("startxref\n") + 10));
      elements.push_back(bad.make());
      Document document = document_with(Object(std::move(elements)));
      put_object(document, {4, 0}, literal_string(std::string(padding, 'p')));
      expect_refused(save_to_path(document, file.string()).status(), refusal("object 12 0", bad));
      const std::string kept = testing_support::read_file(file);
      EXPECT_EQ(kept, good_file.substr(0, body_end));
    }
  }
}

// The streaming writer: an object handed over whole, at top level or packed, and one described
// token by token. A whole object is refused with nothing written; a described one has none of
// its bytes written when packed (it is held until end_object) and nothing past the refused call
// otherwise. The writer then stops, as at any error.
TEST(UnwritableValue, TheStreamingWriterRefusesItNamingTheObject) {
  struct Way {
    const char* what;
    SaveOptions options;
    bool tokens;
  };
  std::vector<Way> ways = {
      {"whole", SaveOptions{}, false},
      {"whole, packed", SaveOptions{.object_streams = true, .objects_per_stream = 2}, false},
      {"described", SaveOptions{}, true},
      {"described, packed", SaveOptions{.object_streams = true, .objects_per_stream = 2}, true},
  };
  if (compression_available())
    ways.push_back({"whole, compressed", {.compression_level = 1}, false});
  for (const Way& way : ways) {
    SCOPED_TRACE(way.what);
    for (const BadValue& bad : bad_values()) {
      for (const Placement& placement : placements()) {
        SCOPED_TRACE(std::string(bad.what) + " " + placement.what);
        std::string out;
        CountingSink sink(out);
        StreamWriter writer =
            std::move(StreamWriter::over_sink(sink, "1.7", XrefForm::XrefStreamForm, way.options))
                .value();
        ASSERT_TRUE(writer.append_object(Object(Name("first"))).ok());
        const std::size_t before = out.size();
        const ObjectId id = writer.reserve_id();
        Status status;
        if (way.tokens) {
          ASSERT_TRUE(writer.begin_object(id).ok());
          std::uint64_t turn = 0;
          testing_support::describe_value(writer.object_value(), placement.hold(bad.make()), turn);
          status = writer.end_object();
        } else {
          status = writer.write_object(id, placement.hold(bad.make()));
        }
        // With object streams the writer took number 2 for its own.
        expect_refused(status, refusal("object " + std::to_string(id.number) + " 0", bad));
        if (!way.tokens || way.options.object_streams) {
          EXPECT_EQ(out.size(), before);
        }
        expect_no_bad_token(out);
        EXPECT_FALSE(writer.close().ok());
      }
    }
  }
}

TEST(UnwritableValue, TheStreamingWriterRefusesItInTheTrailerBeforeTheSection) {
  for (const BadValue& bad : bad_values()) {
    SCOPED_TRACE(bad.what);
    std::string out;
    CountingSink sink(out);
    StreamWriter writer =
        std::move(StreamWriter::over_sink(sink, "1.7", XrefForm::XrefTableForm)).value();
    Result<ObjectId> catalog = writer.append_object(Object(1));
    ASSERT_TRUE(catalog.ok());
    writer.trailer().set("Root", catalog.value());
    const std::size_t before = out.size();
    writer.trailer().set("Info", placements()[1].hold(bad.make()));
    expect_refused(writer.close(), refusal("the trailer", bad));
    EXPECT_EQ(out.size(), before);
  }
}

// On its own, the value writer and serialize_object name "the value"; the value writer's bytes
// stop before the refused call, and the value handed over whole with value() writes nothing.
TEST(UnwritableValue, TheValueWriterAndTheSerializerRefuseIt) {
  for (const BadValue& bad : bad_values()) {
    for (const Placement& placement : placements()) {
      SCOPED_TRACE(std::string(bad.what) + " " + placement.what);
      {
        std::string out;
        CountingSink sink(out);
        ValueWriter writer(sink);
        std::uint64_t turn = 0;
        testing_support::describe_value(writer, placement.hold(bad.make()), turn);
        EXPECT_FALSE(writer.complete());
        expect_refused(writer.status(), refusal("the value", bad));
        expect_no_bad_token(out);
      }
      {
        std::string out;
        CountingSink sink(out);
        ValueWriter writer(sink);
        writer.begin_array().integer(7).value(placement.hold(bad.make()));
        expect_refused(writer.status(), refusal("the value", bad));
        EXPECT_EQ(out, "[7");
      }
      std::string out;
      CountingSink sink(out);
      expect_refused(serialize_object(sink, placement.hold(bad.make())), refusal("the value", bad));
      expect_no_bad_token(out);
    }
  }
}

// A long name is cut short in the message, with its escapes.
TEST(UnwritableValue, ALongNameIsShownCutShort) {
  std::string out;
  CountingSink sink(out);
  const std::string name = "a b\0"s + std::string(100, 'c');
  expect_refused(serialize_object(sink, Name(name)),
                 "the value holds a name with a NUL byte (/a#20b#00" + std::string(36, 'c') +
                     "...), which PDF cannot write");
}

}  // namespace
}  // namespace vantril
