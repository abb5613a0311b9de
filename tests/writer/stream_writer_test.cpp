// The streaming writer writes the bytes a document's save writes for the same objects, refuses
// every misuse with nothing written, stops for good at the first error, and reports a close only
// when everything reached the output.
#include "vantril/stream_writer.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "generator/random_document.hpp"
#include "support/describe_value.hpp"
#include "vantril/writer/buffered_file_writer.hpp"
#include "vantril/writer/output_file.hpp"
#include "vantril/writer/save.hpp"
#include "writer/file_assembler.hpp"
#include "writer_test_support.hpp"

namespace vantril {
namespace {

using testing_support::ScriptedDestination;

// A random document with one object per number: the save writes an older generation too, which
// a streaming writer (one object per number) cannot, so only the newest is kept.
Document random_single_generation(std::uint64_t seed, XrefForm form) {
  const testing_support::GeneratorLimits limits{4, 8, 60, 3000, 40, true};
  testing_support::Entropy entropy = testing_support::Entropy::seeded(seed);
  Document document = testing_support::random_document(entropy, limits);
  document.xref_state.xref_form = form;
  for (auto it = document.object_table.begin(); it != document.object_table.end();) {
    const auto next = std::next(it);
    if (next != document.object_table.end() && next->first.number == it->first.number) {
      it = document.object_table.erase(it);
    } else {
      it = next;
    }
  }
  return document;
}

// Writes the object whole, or (with `tokens`, for any but a stream) described token by token.
Status write_either_way(StreamWriter& writer, ObjectId id, const Object& object, bool tokens) {
  if (!tokens || object.kind() == ObjectKind::Stream) return writer.write_object(id, object);
  VANTRIL_TRY(writer.begin_object(id));
  std::uint64_t turn = id.number;
  testing_support::describe_value(writer.object_value(), object, turn);
  return writer.end_object();
}

// Hands the document's objects to a streaming writer in ascending numbers, releasing the numbers
// the save leaves out or never stored, and closes it with the document's trailer.
Status stream_document(const Document& document, StreamWriter& writer, bool tokens = false) {
  auto stored = document.object_table.begin();
  for (std::uint32_t number = 1; number <= document.highest_number; ++number) {
    const ObjectId reserved = writer.reserve_id();
    EXPECT_EQ(reserved.number, number);
    if (stored != document.object_table.end() && stored->first.number == number &&
        !is_left_out(stored->second)) {
      VANTRIL_TRY(write_either_way(writer, stored->first, stored->second, tokens));
    } else {
      VANTRIL_TRY(writer.release_id(reserved));
    }
    if (stored != document.object_table.end() && stored->first.number == number) ++stored;
  }
  for (const DictionaryEntry& entry : document.trailer.iter()) {
    writer.trailer().set(entry.key, clone(entry.value));
  }
  return writer.close();
}

std::string saved_to_memory(Document document) {
  std::string out;
  CountingSink sink(out);
  EXPECT_TRUE(write_document(document, sink).ok());
  return out;
}

TEST(StreamWriter, WritesTheBytesOfTheDocumentSaveInBothForms) {
  for (XrefForm form : {XrefForm::XrefStreamForm, XrefForm::XrefTableForm}) {
    for (std::uint64_t seed = 0; seed < 300; ++seed) {
      SCOPED_TRACE("seed " + std::to_string(seed));
      const Document document = random_single_generation(seed, form);
      const std::string expected = saved_to_memory(random_single_generation(seed, form));

      // Objects written whole, and described token by token.
      for (const bool tokens : {false, true}) {
        std::string streamed;
        CountingSink sink(streamed);
        Result<StreamWriter> writer = StreamWriter::over_sink(sink, document.version, form);
        ASSERT_TRUE(writer.ok());
        ASSERT_TRUE(stream_document(document, writer.value(), tokens).ok());
        ASSERT_EQ(streamed, expected);
        EXPECT_EQ(sink.count, streamed.size());
      }
    }
  }
}

// One document streamed twice, into memory and through a buffered file at `path`: `body` adds
// its objects (told whether it writes to the file) between the catalog's reservation and its
// writing. Gives what reached memory.
template <class Body>
std::string streamed_to_memory_and_file(const std::string& path, Body body) {
  std::string in_memory;
  CountingSink memory(in_memory);
  BufferedFileWriter file(std::move(OutputFile::create(path)).value());
  CountingSink to_file(file);
  for (CountingSink* sink : {&memory, &to_file}) {
    StreamWriter writer = std::move(StreamWriter::over_sink(*sink, "1.7")).value();
    const ObjectId catalog = writer.reserve_id();
    body(writer, *sink, sink == &to_file);
    EXPECT_TRUE(
        writer.write_object(catalog, Dictionary::from_pairs({{"Type", Name("Catalog")}})).ok());
    writer.trailer().set("Root", catalog);
    EXPECT_TRUE(writer.close().ok());
  }
  EXPECT_TRUE(file.into_file().ok());
  return in_memory;
}

// A caller's own bytes between calls (comments, say) land where it wrote them, over a buffered
// file as in memory, and the offsets count them.
TEST(StreamWriter, BytesTheCallerAppendsBetweenCallsStayInPlace) {
  const auto directory = testing_support::fresh_directory("stream-writer-own-bytes");
  const std::string path = (directory / "own.pdf").string();
  const std::string in_memory =
      streamed_to_memory_and_file(path, [](StreamWriter& writer, CountingSink& sink, bool) {
        for (int i = 0; i < 400; ++i) {
          ASSERT_TRUE(
              writer.append_object(make_array(i, Name("N"), literal_string(std::string(40, 'x'))))
                  .ok());
          ASSERT_TRUE(sink.write_all("%own\n").ok());
        }
      });
  EXPECT_EQ(testing_support::read_file(path), in_memory);
  EXPECT_NE(in_memory.find("%own\n3 0 obj"), std::string::npos);
}

// Objects described token by token whose "obj" line and end line meet the file buffer's end at
// every offset have the bytes of the same objects written whole to memory.
TEST(StreamWriter, DescribedObjectsAcrossTheFileBuffersEndHaveTheWholeObjectsBytes) {
  const auto directory = testing_support::fresh_directory("stream-writer-buffer-end");
  const std::string path = (directory / "described.pdf").string();
  const std::string in_memory =
      streamed_to_memory_and_file(path, [](StreamWriter& writer, CountingSink& sink, bool tokens) {
        for (std::int64_t before = 1; before <= 40; ++before) {
          // A comment that ends `before` bytes short of a buffer's end, made in place: GCC 12 at
          // -O3 sees a "%" + string concatenation as a possible overlap.
          const std::uint64_t boundary = (sink.count / BufferedFileWriter::capacity + 2) *
                                         std::uint64_t{BufferedFileWriter::capacity};
          const auto filler =
              static_cast<std::size_t>(boundary - sink.count) - static_cast<std::size_t>(before);
          std::string comment(filler, 'x');
          comment.front() = '%';
          comment.back() = '\n';
          ASSERT_TRUE(sink.write_all(comment).ok());
          const Object value = before % 2 == 0 ? Object(before) : Object(Name("N"));
          ASSERT_TRUE(write_either_way(writer, writer.reserve_id(), value, tokens).ok());
        }
      });
  EXPECT_EQ(testing_support::read_file(path), in_memory);
}

// Through a file, with documents many buffers long: close must flush what the buffer holds.
TEST(StreamWriter, AClosedFileHoldsTheDocumentSavesBytes) {
  const auto directory = testing_support::fresh_directory("stream-writer");
  const std::string streamed_path = (directory / "streamed.pdf").string();
  const std::string saved_path = (directory / "saved.pdf").string();
  for (XrefForm form : {XrefForm::XrefStreamForm, XrefForm::XrefTableForm}) {
    for (std::uint64_t seed = 0; seed < 20; ++seed) {
      SCOPED_TRACE("seed " + std::to_string(seed));
      Document document = random_single_generation(seed, form);
      {
        Result<StreamWriter> writer = StreamWriter::create(streamed_path, document.version, form);
        ASSERT_TRUE(writer.ok());
        ASSERT_TRUE(stream_document(document, writer.value(), seed % 2 == 1).ok());
      }
      ASSERT_TRUE(save_to_path(document, saved_path).ok());
      const std::string saved = testing_support::read_file(saved_path);
      ASSERT_EQ(testing_support::read_file(streamed_path), saved);
    }
  }
}

// Where a save's layout can be matched (every number reserved first, the objects in ascending
// numbers, every object stream full or the last one, no top-level object after a packed one),
// the streaming writer's file is the save's, byte for byte: its object streams hold the same
// bytes, compressed or not, and an "Encrypt" set first keeps its object at top level.
TEST(StreamWriter, WithOptionsWritesTheSavesBytesWhereTheLayoutsMeet) {
  const Object objects[] = {
      Dictionary::from_pairs({{"Filter", Name("Standard")}, {"V", 2}}),
      make_array(1, 2.5, literal_string("a (string)")),
      Object(Name("name")),
      Dictionary::from_pairs({{"Type", Name("Catalog")}, {"Pages", ObjectId{2, 0}}}),
      Object(42),
  };
  struct Case {
    const char* what;
    SaveOptions options;
    bool encrypt_first;  // the trailer's Encrypt names object 1
  };
  const Case cases[] = {
      {"one object stream, full", {.object_streams = true, .objects_per_stream = 5}, false},
      {"two, the last partial", {.object_streams = true, .objects_per_stream = 3}, false},
      {"the encryption dictionary at top level",
       {.object_streams = true, .objects_per_stream = 4},
       true},
      {"compressed",
       {.compression_level = 9, .object_streams = true, .objects_per_stream = 2},
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.options.compression_level > 0 && !compression_available()) continue;
    Document document = create_versioned("1.7");
    for (const Object& object : objects) append_object(document, clone(object));
    document.trailer.set("Root", ObjectId{4, 0});
    if (c.encrypt_first) document.trailer.set("Encrypt", ObjectId{1, 0});
    std::string saved;
    CountingSink saved_sink(saved);
    ASSERT_TRUE(write_document(document, saved_sink, c.options).ok());

    // Objects written whole, and described token by token.
    for (const bool tokens : {false, true}) {
      std::string streamed;
      CountingSink sink(streamed);
      StreamWriter writer =
          std::move(StreamWriter::over_sink(sink, "1.7", XrefForm::XrefStreamForm, c.options))
              .value();
      writer.trailer().set("Root", ObjectId{4, 0});
      if (c.encrypt_first) writer.trailer().set("Encrypt", ObjectId{1, 0});
      for (std::size_t k = 0; k < std::size(objects); ++k) writer.reserve_id();
      std::uint32_t number = 0;
      for (const Object& object : objects) {
        ASSERT_TRUE(write_either_way(writer, {++number, 0}, object, tokens).ok());
      }
      ASSERT_TRUE(writer.close().ok());
      EXPECT_EQ(streamed, saved);
      EXPECT_EQ(writer.highest_number(), document.highest_number);
    }
    EXPECT_EQ(saved.find("\n1 0 obj\n") != std::string::npos, c.encrypt_first);
  }
}

Status status_of(Result<ObjectId> result) {
  if (result.ok()) return {};
  return std::move(result).error();
}

void expect_invalid_input(const Status& status, std::string_view message) {
  ASSERT_FALSE(status.ok());
  EXPECT_EQ(kind_of(status.error()), IoErrorKind::InvalidInput);
  EXPECT_TRUE(display_form(status.error()).starts_with(message)) << display_form(status.error());
}

constexpr std::string_view never_handed_out =
    "the object number was never handed out by reserve_id";
constexpr std::string_view stopped =
    "the stream writer stopped at an earlier error and writes nothing more";

struct Misuse {
  const char* what;
  std::function<Status(StreamWriter&)> act;
  std::string_view message;
  SaveOptions options = {};
};

// Object streams of two: the first object of each case is packed, and its object stream holds
// number 2, which the writer took for itself.
constexpr SaveOptions packing_two{.object_streams = true, .objects_per_stream = 2};

// Each misuse is refused with InvalidInput and appends nothing; every call after it is refused
// too, close included, so a file with a refused object never looks complete.
TEST(StreamWriter, RefusesEveryMisuseAndThenEverything) {
  const Misuse misuses[] = {
      {"number 0",
       [](StreamWriter& w) {
         return w.write_object({0, 0}, Object(1));
       },
       never_handed_out},
      {"a number above the highest",
       [](StreamWriter& w) {
         return w.write_object({w.highest_number() + 1, 0}, Object(1));
       },
       never_handed_out},
      {"the same number twice, in another generation",
       [](StreamWriter& w) {
         return w.write_object({1, 3}, Object(1));
       },
       "the object number is written already"},
      {"a released number",
       [](StreamWriter& w) {
         const ObjectId id = w.reserve_id();
         EXPECT_TRUE(w.release_id(id).ok());
         return w.write_object(id, Object(1));
       },
       "the object number was released"},
      {"a number released twice",
       [](StreamWriter& w) {
         const ObjectId id = w.reserve_id();
         EXPECT_TRUE(w.release_id(id).ok());
         return w.release_id(id);
       },
       "the object number was released"},
      {"a release of a written number",
       [](StreamWriter& w) {
         return w.release_id({1, 0});
       },
       "the object number is written already"},
      {"a stream typed XRef",
       [](StreamWriter& w) {
         return status_of(
             w.append_object(make_stream(Dictionary::from_pairs({{"Type", Name("XRef")}}), "x")));
       },
       "objects typed XRef, ObjStm or Linearized"},
      {"a linearization dictionary",
       [](StreamWriter& w) {
         return status_of(w.append_object(Dictionary::from_pairs({{"Linearized", 1}})));
       },
       "objects typed XRef, ObjStm or Linearized"},
      {"a stream inside an object",
       [](StreamWriter& w) {
         return status_of(
             w.append_object(Dictionary::from_pairs({{"S", make_stream(Dictionary(), "data")}})));
       },
       "object 2 0 holds a stream inside a dictionary"},
      {"a stream inside the trailer",
       [](StreamWriter& w) {
         w.trailer().set("Root", ObjectId{1, 0});
         w.trailer().set("S", make_stream(Dictionary(), "data"));
         return w.close();
       },
       "the trailer holds a stream inside a dictionary"},
      {"a close with a reserved number never written",
       [](StreamWriter& w) {
         w.reserve_id();
         const ObjectId written = w.reserve_id();
         EXPECT_TRUE(w.write_object(written, Object(3)).ok());
         return w.close();
       },
       "object number 2 was reserved but never written or released"},
      {"a close without Root", [](StreamWriter& w) { return w.close(); },
       "the trailer has no Root"},
      {"a Root that is no reference",
       [](StreamWriter& w) {
         w.trailer().set("Root", Object(1));
         return w.close();
       },
       "the trailer's Root is no reference"},
      {"a reference to a released number",
       [](StreamWriter& w) {
         const ObjectId released = w.reserve_id();
         EXPECT_TRUE(w.release_id(released).ok());
         w.trailer().set("Root", ObjectId{1, 0});
         EXPECT_TRUE(status_of(w.append_object(make_array(released))).ok());
         return w.close();
       },
       "the file would refer to objects it does not hold: object number 2 was released and "
       "never written"},
      {"references, described and in the trailer, to numbers never handed out",
       [](StreamWriter& w) {
         EXPECT_TRUE(w.begin_object(w.reserve_id()).ok());
         w.object_value().begin_dictionary().key("A").reference({40, 0}).end_dictionary();
         EXPECT_TRUE(w.end_object().ok());
         EXPECT_TRUE(w.begin_object(w.reserve_id()).ok());
         w.object_value().value(make_array(make_array(ObjectId{41, 0}), ObjectId{1, 0}));
         EXPECT_TRUE(w.end_object().ok());
         w.trailer().set("Root", ObjectId{1, 0});
         w.trailer().set("Info", ObjectId{0, 0});
         return w.close();
       },
       "the file would refer to objects it does not hold: object numbers 0, 40 and 41 were "
       "never handed out by reserve_id"},
      {"many numbers never written, in one sentence",
       [](StreamWriter& w) {
         for (int i = 0; i < 12; ++i) w.reserve_id();
         return w.close();
       },
       "object numbers 2, 3, 4, 5, 6, 7, 8, 9, 10, 11 and 2 more were reserved but never "
       "written or released"},
      {"a stream inside a packed object",
       [](StreamWriter& w) {
         return status_of(w.append_object(make_array(1, make_stream(Dictionary(), "data"))));
       },
       "object 3 0 holds a stream inside an array", packing_two},
      {"the number the writer took for its object stream",
       [](StreamWriter& w) {
         return w.write_object({2, 0}, Object(1));
       },
       "the object number is the writer's own object stream", packing_two},
      {"an Encrypt set after its object was packed",
       [](StreamWriter& w) {
         w.trailer().set("Root", ObjectId{1, 0});
         w.trailer().set("Encrypt", ObjectId{1, 0});
         return w.close();
       },
       "the trailer's Encrypt names an object written into an object stream", packing_two},
      {"a call while an object is begun",
       [](StreamWriter& w) {
         EXPECT_TRUE(w.begin_object(w.reserve_id()).ok());
         w.object_value().integer(1);
         return w.write_object(w.reserve_id(), Object(1));
       },
       "an object begun with begin_object is not ended yet"},
      {"an end with no object begun", [](StreamWriter& w) { return w.end_object(); },
       "end_object with no object begun by begin_object"},
      {"a described value left incomplete",
       [](StreamWriter& w) {
         EXPECT_TRUE(w.begin_object(w.reserve_id()).ok());
         w.object_value().begin_array().integer(1);
         return w.end_object();
       },
       "end_object before the object's value is complete"},
      {"a misuse of the value writer",
       [](StreamWriter& w) {
         EXPECT_TRUE(w.begin_object(w.reserve_id()).ok());
         w.object_value().key("A");
         return w.end_object();
       },
       "a key outside a dictionary"},
      {"a described linearization dictionary, packed",
       [](StreamWriter& w) {
         EXPECT_TRUE(w.begin_object(w.reserve_id()).ok());
         w.object_value().begin_dictionary().key("Linearized").integer(1).end_dictionary();
         return w.end_object();
       },
       "objects typed XRef, ObjStm or Linearized", packing_two},
  };
  for (const Misuse& misuse : misuses) {
    SCOPED_TRACE(misuse.what);
    std::string out;
    CountingSink sink(out);
    StreamWriter writer =
        std::move(StreamWriter::over_sink(sink, "1.7", XrefForm::XrefStreamForm, misuse.options))
            .value();
    ASSERT_TRUE(writer.append_object(Object(Name("first"))).ok());
    const std::size_t before = out.size();

    expect_invalid_input(misuse.act(writer), misuse.message);
    // A refusal writes nothing of its own; the setup of a case may have written an object.
    const std::string after_refusal = out;
    EXPECT_GE(after_refusal.size(), before);

    expect_invalid_input(status_of(writer.append_object(Object(2))), stopped);
    expect_invalid_input(writer.release_id(writer.reserve_id()), stopped);
    expect_invalid_input(writer.close(), stopped);
    EXPECT_EQ(out, after_refusal);
    EXPECT_EQ(out.find("startxref"), std::string::npos);
  }
}

// Options a save refuses (the checks are the save's own; see the compact-save tests) are refused
// before the file is created or a byte written.
TEST(StreamWriter, RefusesOptionsASaveRefusesBeforeWriting) {
  struct Case {
    const char* what;
    SaveOptions options;
    XrefForm form;
    IoErrorKind kind;
  };
  const Case cases[] = {
      {"object streams in the table form", SaveOptions{.object_streams = true},
       XrefForm::XrefTableForm, IoErrorKind::InvalidInput},
      {"level 13", SaveOptions{.compression_level = 13}, XrefForm::XrefStreamForm,
       IoErrorKind::InvalidInput},
      {"compression in a build without libdeflate", SaveOptions{.compression_level = 6},
       XrefForm::XrefStreamForm, IoErrorKind::Unsupported},
  };
  const auto directory = testing_support::fresh_directory("stream-writer-options");
  const std::string path = (directory / "refused.pdf").string();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.kind == IoErrorKind::Unsupported && compression_available()) continue;
    const Result<StreamWriter> file = StreamWriter::create(path, "1.7", c.form, c.options);
    ASSERT_FALSE(file.ok());
    EXPECT_EQ(kind_of(file.error()), c.kind) << debug_form(file.error());
    EXPECT_FALSE(std::filesystem::exists(path));
    std::string out;
    CountingSink sink(out);
    const Result<StreamWriter> memory = StreamWriter::over_sink(sink, "1.7", c.form, c.options);
    ASSERT_FALSE(memory.ok());
    EXPECT_EQ(kind_of(memory.error()), c.kind);
    EXPECT_EQ(out, "");
  }
}

TEST(StreamWriter, RefusesEveryCallAfterClose) {
  std::string out;
  CountingSink sink(out);
  StreamWriter writer = std::move(StreamWriter::over_sink(sink, "1.7")).value();
  writer.trailer().set("Root", writer.append_object(Object(1)).value());
  ASSERT_TRUE(writer.close().ok());
  const std::string closed = out;
  EXPECT_TRUE(closed.ends_with("%%EOF"));
  expect_invalid_input(status_of(writer.append_object(Object(2))), "the stream writer is closed");
  expect_invalid_input(writer.close(), "the stream writer is closed");
  EXPECT_EQ(out, closed);
}

// Objects written out of number order and numbers released in between: the cross-reference
// section still lists each written number at its own offset.
TEST(StreamWriter, ListsObjectsWrittenInAnyOrder) {
  std::string out;
  CountingSink sink(out);
  StreamWriter writer =
      std::move(StreamWriter::over_sink(sink, "1.7", XrefForm::XrefTableForm)).value();
  const ObjectId pages = writer.reserve_id();
  const ObjectId skipped = writer.reserve_id();
  const ObjectId page = writer.append_object(Dictionary::from_pairs({{"Parent", pages}})).value();
  ASSERT_TRUE(writer.release_id(skipped).ok());
  ASSERT_TRUE(
      writer.write_object(pages, Dictionary::from_pairs({{"Kids", make_array(page)}})).ok());
  writer.trailer().set("Root", pages);
  ASSERT_TRUE(writer.close().ok());
  EXPECT_EQ(out,
            "%PDF-1.7\n"
            "3 0 obj\n<</Parent 1 0 R>>\nendobj\n"
            "1 0 obj\n<</Kids[3 0 R]>>\nendobj\n"
            "xref\n0 4\n0000000002 65535 f \n0000000042 00000 n \n"
            "0000000000 00000 f \n0000000009 00000 n \n"
            "trailer\n<</Root 1 0 R/Size 4>>\nstartxref\n74\n%%EOF");
}

// Every append failing in turn, from the header to the tail: the failing call returns that error
// unchanged, nothing more is appended, and every later call is refused.
void expect_each_failing_append_stops_the_writer(const SaveOptions& options) {
  const auto write_all = [&options](CountingSink& sink) -> Status {
    Result<StreamWriter> opened =
        StreamWriter::over_sink(sink, "1.7", XrefForm::XrefStreamForm, options);
    if (!opened.ok()) return std::move(opened).error();
    StreamWriter& writer = opened.value();
    for (int i = 0; i < 3; ++i) {
      Result<ObjectId> id = writer.append_object(
          Dictionary::from_pairs({{"N", i}, {"S", literal_string("a (string)")}}));
      if (id.ok()) id = writer.append_object(make_stream(Dictionary(), "q q q q q q q q q Q"));
      // One described token by token, whose failing appends surface at end_object.
      if (id.ok()) {
        Status described = writer.begin_object(writer.reserve_id());
        if (described.ok()) {
          writer.object_value().begin_array().integer(i).name("Name").string("text").end_array();
          described = writer.end_object();
        }
        if (!described.ok()) id = std::move(described).error();
      }
      if (!id.ok()) {
        expect_invalid_input(writer.close(), stopped);
        return std::move(id).error();
      }
    }
    writer.trailer().set("Root", ObjectId{1, 0});
    const Status closed = writer.close();
    if (!closed.ok()) expect_invalid_input(writer.close(), stopped);
    return closed;
  };
  ScriptedDestination counter;
  CountingSink counting(counter.destination());
  ASSERT_TRUE(write_all(counting).ok());
  ASSERT_GT(counter.appends, 5u);
  for (std::size_t n = 1; n <= counter.appends; ++n) {
    SCOPED_TRACE("failing append " + std::to_string(n));
    ScriptedDestination destination;
    destination.fail_at = n;
    CountingSink sink(destination.destination());
    const Status status = write_all(sink);
    ASSERT_FALSE(status.ok());
    EXPECT_TRUE(testing_support::is_scripted(status.error()));
    EXPECT_EQ(destination.appends, n);
    EXPECT_EQ(destination.appends_after_failure, 0u);
    EXPECT_EQ(counter.received.compare(0, destination.received.size(), destination.received), 0);
  }
}

// With object streams (compressed where the build can), the appends include those of the object
// streams, written when full and at close.
TEST(StreamWriter, TheFirstFailingAppendStopsTheWriter) {
  std::vector<SaveOptions> all_options = {SaveOptions{}, packing_two};
  if (compression_available()) {
    all_options.push_back(
        SaveOptions{.compression_level = 1, .object_streams = true, .objects_per_stream = 2});
  }
  for (const SaveOptions& options : all_options) {
    SCOPED_TRACE(options.object_streams ? options.compression_level : -1);
    expect_each_failing_append_stops_the_writer(options);
  }
}

}  // namespace
}  // namespace vantril
