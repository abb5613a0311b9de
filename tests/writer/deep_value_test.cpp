// Values nested a million levels deep are written, copied and destroyed on the ordinary 8 MiB
// stack: every walk over nested values keeps its own stack instead of recursing.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "vantril/model/document.hpp"
#include "vantril/writer/save.hpp"
#include "writer/file_assembler.hpp"

namespace vantril {
namespace {

// A million levels; a quarter of that under AddressSanitizer, whose unoptimised build runs these
// walks some sixty times slower. Either depth needs many times the 8 MiB stack if anything
// recursed, so both prove the same thing.
#if defined(__SANITIZE_ADDRESS__)
constexpr std::size_t depth = 250'000;
#else
constexpr std::size_t depth = 1'000'000;
#endif

enum class Shape { Arrays, Dictionaries, Alternating };

// The value 1 inside `depth` containers, and its written form, built outward side by side.
std::pair<Object, std::string> nested(Shape shape) {
  Object value(1);
  std::vector<std::string_view> opens;
  std::vector<std::string_view> closes;
  bool innermost_is_dictionary = false;
  for (std::size_t level = 0; level < depth; ++level) {
    const bool array = shape == Shape::Arrays || (shape == Shape::Alternating && level % 2 == 0);
    if (level == 0) innermost_is_dictionary = !array;
    if (array) {
      value = Object(make_array(std::move(value)));
      opens.push_back("[");
      closes.push_back("]");
    } else {
      Dictionary dictionary;
      dictionary.set("K", std::move(value));
      value = Object(std::move(dictionary));
      opens.push_back("<</K");
      closes.push_back(">>");
    }
  }
  std::string text;
  for (auto it = opens.rbegin(); it != opens.rend(); ++it) text += *it;
  text += innermost_is_dictionary ? " 1" : "1";
  for (std::string_view close : closes) text += close;
  return {std::move(value), std::move(text)};
}

std::string written(const Object& object) {
  std::string out;
  CountingSink sink(out);
  EXPECT_TRUE(serialize_object(sink, object).ok());
  return out;
}

TEST(DeepValues, AreWrittenCopiedAndDestroyedWithoutRecursion) {
  for (Shape shape : {Shape::Arrays, Shape::Dictionaries, Shape::Alternating}) {
    SCOPED_TRACE(static_cast<int>(shape));
    auto [value, expected] = nested(shape);
    EXPECT_EQ(written(value), expected);
    const Object copy = clone(value);
    value = Object(Null{});  // the original goes first; the copy must not share anything with it
    EXPECT_EQ(written(copy), expected);
  }
}

// Inside a stream dictionary, as a whole file in both forms, and destroyed with the document.
TEST(DeepValues, InAStreamDictionaryInsideADocument) {
  for (XrefForm form : {XrefForm::XrefStreamForm, XrefForm::XrefTableForm}) {
    auto [value, expected] = nested(Shape::Dictionaries);
    Dictionary dictionary;
    dictionary.set("D", std::move(value));
    Document document = create_versioned("1.7");
    document.xref_state.xref_form = form;
    append_object(document, make_stream(std::move(dictionary), "abc"));
    const Stream copy = clone(*document.object_table.begin()->second.stream());
    std::string file;
    CountingSink sink(file);
    ASSERT_TRUE(write_document(document, sink).ok());
    const std::string object =
        "1 0 obj\n<</D" + expected + "/Length 3>>stream\nabc\nendstream \nendobj\n";
    EXPECT_EQ(file.compare(9, object.size(), object), 0);
    std::string copied;
    CountingSink copy_sink(copied);
    ASSERT_TRUE(serialize_object(copy_sink, Object(clone(copy))).ok());
    EXPECT_EQ(copied, "<</D" + expected + "/Length 3>>stream\nabc\nendstream");
  }
}

}  // namespace
}  // namespace vantril
