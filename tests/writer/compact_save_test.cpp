// Compact saves: which streams get compressed, the options a save refuses before it creates its
// file, where object streams go, and that a compressed save is repeatable and leaves the
// document's own data alone. Independent readers check the files themselves (tests/qpdf,
// tests/readers).
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "vantril/model/document.hpp"
#include "vantril/writer/save.hpp"
#include "writer_test_support.hpp"

namespace vantril {
namespace {

namespace fs = std::filesystem;

std::string random_bytes(std::size_t size, std::uint64_t state) {
  std::string bytes(size, '\0');
  for (char& byte : bytes) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    byte = static_cast<char>(state >> 56);
  }
  return bytes;
}

std::string repeated(std::string_view text, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += text;
  return out;
}

Result<std::string> saved(Document& document, const SaveOptions& options) {
  std::string out;
  CountingSink sink(out);
  const Status status = write_document(document, sink, options);
  if (!status.ok()) return status.error();
  return out;
}

TEST(CompactSave, CompressesTheStreamsThatShrinkAndNoOthers) {
  if (!compression_available()) GTEST_SKIP() << "this build has no libdeflate";
  const std::string text = repeated("BT /F1 12 Tf 72 720 Td (compressible) Tj ET\n", 2000);
  struct Case {
    const char* what;
    std::string data;
    bool compressible;
    const char* filter;  // a Filter already in the dictionary
    bool compressed;
  };
  const Case cases[] = {
      {"repetitive text", text, true, nullptr, true},
      {"small random data, compressed in full and found larger", random_bytes(1000, 7), true,
       nullptr, false},
      {"large random data, given up after its samples", random_bytes(std::size_t{1} << 20, 9), true,
       nullptr, false},
      {"random head, repetitive rest", random_bytes(40000, 3) + text + text, true, nullptr, true},
      {"marked not compressible", text, false, nullptr, false},
      {"filtered already", text, true, "ASCIIHexDecode", false},
      {"one byte", "x", true, nullptr, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Document document = create_versioned("1.7");
    // The table form, so that the only Flate stream can be the one under test.
    document.xref_state.xref_form = XrefForm::XrefTableForm;
    Dictionary dictionary;
    if (c.filter != nullptr) dictionary.set("Filter", Name(c.filter));
    Stream stream = make_stream(std::move(dictionary), Bytes(c.data));
    stream.compressible = c.compressible;
    append_object(document, std::move(stream));
    const Result<std::string> file = saved(document, SaveOptions{.compression_level = 6});
    ASSERT_TRUE(file.ok());
    const std::string& bytes = file.value();
    const std::size_t start = bytes.find("stream\n") + 7;
    const std::size_t end = bytes.find("\nendstream");
    ASSERT_LT(start, end);
    if (c.compressed) {
      EXPECT_NE(bytes.find("/Filter/FlateDecode"), std::string::npos);
      EXPECT_LT(end - start, c.data.size());
      EXPECT_NE(bytes.find("/Length " + std::to_string(end - start) + "/"), std::string::npos);
    } else {
      EXPECT_EQ(bytes.find("/FlateDecode"), std::string::npos);
      EXPECT_EQ(bytes.substr(start, end - start), c.data);
    }
  }
}

TEST(CompactSave, RefusesOptionsItCannotHonourBeforeCreatingTheFile) {
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
      {"a negative level", SaveOptions{.compression_level = -1}, XrefForm::XrefStreamForm,
       IoErrorKind::InvalidInput},
      {"empty object streams", SaveOptions{.object_streams = true, .objects_per_stream = 0},
       XrefForm::XrefStreamForm, IoErrorKind::InvalidInput},
      {"more objects than an index can number",
       SaveOptions{.object_streams = true, .objects_per_stream = 65536}, XrefForm::XrefStreamForm,
       IoErrorKind::InvalidInput},
  };
  const fs::path path = fs::temp_directory_path() / "vantril-compact-refused.pdf";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::error_code ignored;
    fs::remove(path, ignored);
    Document document = create_versioned("1.7");
    document.xref_state.xref_form = c.form;
    append_object(document, 1);
    const Result<OutputFile> file = save_to_path(document, path.string(), c.options);
    ASSERT_FALSE(file.ok());
    EXPECT_EQ(kind_of(file.error()), c.kind) << debug_form(file.error());
    EXPECT_FALSE(fs::exists(path));
    const Result<std::string> memory = saved(document, c.options);
    ASSERT_FALSE(memory.ok());
    EXPECT_EQ(kind_of(memory.error()), c.kind);
    EXPECT_EQ(document.highest_number, 1u);
  }
}

// Runs where the build has no libdeflate: the Windows build, and the Linux build configured
// with VANTRIL_WITH_LIBDEFLATE=OFF. Compression must fail loudly, never write raw streams.
TEST(CompactSave, WithoutLibdeflateCompressionIsUnsupported) {
  if (compression_available()) GTEST_SKIP() << "this build has libdeflate";
  const fs::path path = fs::temp_directory_path() / "vantril-compact-unsupported.pdf";
  for (const int level : {1, 6, 12}) {
    std::error_code ignored;
    fs::remove(path, ignored);
    Document document = create_versioned("1.7");
    append_object(document, make_stream(Dictionary(), repeated("compressible ", 100)));
    const Result<OutputFile> file =
        save_to_path(document, path.string(), SaveOptions{.compression_level = level});
    ASSERT_FALSE(file.ok());
    EXPECT_TRUE(testing_support::has_message(
        file.error(), IoErrorKind::Unsupported,
        "Flate compression is not available: this build of vantril has no libdeflate"))
        << debug_form(file.error());
    EXPECT_FALSE(fs::exists(path));
  }
  // Object streams alone need no compression.
  Document document = create_versioned("1.7");
  append_object(document, 1);
  const Result<std::string> file = saved(document, SaveOptions{.object_streams = true});
  ASSERT_TRUE(file.ok());
  EXPECT_NE(file.value().find("/Type/ObjStm/N 1/First 4/Length 5>>stream\n1 0 1\nendstream"),
            std::string::npos)
      << file.value();
}

// Numbers: objects up to 11 are stored but highest_number says 3; the object streams must not
// take 4 to 11. Ten packable objects, three to a stream: four streams of 3, 3, 3 and 1 objects,
// numbered 12 to 15, and the cross-reference stream 16. A stream and an object of a later
// generation stay at top level.
TEST(CompactSave, ObjectStreamsTakeFreshNumbersAndHoldAtMostTheirShare) {
  Document document = create_versioned("1.7");
  for (std::uint32_t number = 1; number <= 9; ++number) put_object(document, {number, 0}, 1);
  put_object(document, {10, 0}, make_stream(Dictionary(), "data"));
  put_object(document, {10, 1}, 2);
  put_object(document, {11, 0}, 3);
  document.highest_number = 3;
  const Result<std::string> file =
      saved(document, SaveOptions{.object_streams = true, .objects_per_stream = 3});
  ASSERT_TRUE(file.ok());
  const std::string& bytes = file.value();
  for (const char* expected : {"\n12 0 obj\n<</Type/ObjStm/N 3/", "\n13 0 obj\n<</Type/ObjStm/N 3/",
                               "\n14 0 obj\n<</Type/ObjStm/N 3/", "\n15 0 obj\n<</Type/ObjStm/N 1/",
                               "\n16 0 obj\n<</Type/XRef/Size 17/",
                               "\n10 0 obj\n<</Length 4>>stream\n", "\n10 1 obj\n 2 \nendobj\n"}) {
    EXPECT_NE(bytes.find(expected), std::string::npos) << expected << "\n" << bytes;
  }
  EXPECT_EQ(bytes.find("\n1 0 obj"), std::string::npos);
  EXPECT_EQ(document.highest_number, 16u);
}

// A stream nested in a packed object is refused as it is at top level, naming the object, whether
// the object stream is made on the save's thread (no compression) or on the queue's.
TEST(CompactSave, ANestedStreamInAPackedObjectFailsTheSave) {
  std::vector<SaveOptions> forms = {SaveOptions{.object_streams = true, .objects_per_stream = 2}};
  if (compression_available()) {
    forms.push_back(
        SaveOptions{.compression_level = 1, .object_streams = true, .objects_per_stream = 2});
  }
  for (const SaveOptions& options : forms) {
    SCOPED_TRACE(options.compression_level);
    Document document = create_versioned("1.7");
    for (int k = 0; k < 4; ++k) append_object(document, k);
    append_object(document,
                  Dictionary::from_pairs({{"Inner", make_stream(Dictionary(), "nested")}}));
    append_object(document, 5);
    const Result<std::string> file = saved(document, options);
    ASSERT_FALSE(file.ok());
    EXPECT_EQ(kind_of(file.error()), IoErrorKind::InvalidInput);
    EXPECT_EQ(display_form(file.error()),
              "object 5 0 holds a stream inside a dictionary; a stream must be an indirect object");
  }
}

// A W1-like document: enough object streams for the helper thread to take some of them.
Document many_small(int count) {
  Document document = create_versioned("1.7");
  for (int k = 0; k < count; ++k) {
    append_object(document, Dictionary::from_pairs({
                                {"Type", Name("Annot")},
                                {"Rect", make_array(10, 20, 110, k)},
                                {"NM", literal_string("annot-" + std::to_string(k))},
                            }));
  }
  append_object(document, make_stream(Dictionary(), repeated("0 0 m 10 10 l S\n", 500)));
  document.trailer.set("Root", ObjectId{1, 0});
  return document;
}

TEST(CompactSave, TheSameDocumentGivesTheSameBytesAndKeepsItsData) {
  if (!compression_available()) GTEST_SKIP() << "this build has no libdeflate";
  const SaveOptions options{
      .compression_level = 6, .object_streams = true, .objects_per_stream = 50};
  Document first = many_small(20000);
  Document second = many_small(20000);
  const Result<std::string> one = saved(first, options);
  const Result<std::string> two = saved(second, options);
  ASSERT_TRUE(one.ok());
  ASSERT_TRUE(two.ok());
  EXPECT_EQ(one.value(), two.value());
  Document plain = many_small(20000);
  const Result<std::string> uncompressed = saved(plain, SaveOptions{});
  ASSERT_TRUE(uncompressed.ok());
  EXPECT_LT(one.value().size() * 5, uncompressed.value().size());
  // The save compressed a copy: the document's stream is as it was built.
  const Stream& stream = *first.object_table.at({20001, 0}).stream();
  EXPECT_EQ(std::string_view(stream.data), repeated("0 0 m 10 10 l S\n", 500));
  EXPECT_EQ(stream.stream_dictionary.len(), 1u);
  EXPECT_EQ(*stream.stream_dictionary.get("Length")->integer(), 16 * 500);
}

}  // namespace
}  // namespace vantril
