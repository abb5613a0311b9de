// Writing a document allocates a fixed handful of blocks (the cross-reference section's), never
// one per object: the serializer, the sink and the record work in storage made up front. (A
// literal string holding a parenthesis, backslash or carriage return is the one exception: it
// takes storage for the list of its escapes.)
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "runtime/allocation_count.hpp"
#include "vantril/model/document.hpp"
#include "vantril/writer/save.hpp"
#include "writer_test_support.hpp"

namespace vantril {
namespace {

#if defined(VANTRIL_ALLOCATION_COUNTING)

// Objects of every kind, long keys and names with escapes included.
Document document_of(int objects, XrefForm form) {
  Document document = create_versioned("1.7");
  document.xref_state.xref_form = form;
  for (int i = 0; i < objects; ++i) {
    const ObjectId id = reserve_id(document);
    const ObjectId content =
        append_object(document, make_stream(Dictionary(), Bytes(std::string(20000, 's'))));
    put_object(document, id,
               Dictionary::from_pairs({
                   {"Type", Name("Annot")},
                   {"A long key that is kept on the heap", Name("a name with spaces (and #)")},
                   {"Rect", make_array(10, -20, 0.5f, 1e20f, Null{}, true)},
                   {"P", ObjectId{1, 0}},
                   {"NM", literal_string("a literal string longer than the inline bytes")},
                   {"H", hex_string(std::string(40, '\xAB'))},
                   {"S", content},
               }));
  }
  document.trailer.set("Root", ObjectId{1, 0});
  return document;
}

std::uint64_t allocations_writing(int objects, XrefForm form) {
  Document document = document_of(objects, form);
  testing_support::ScriptedDestination destination;
  destination.discard = true;
  CountingSink sink(destination.destination());
  start_counting_allocations();
  const Status written = write_document(document, sink);
  const AllocationCount counted = stop_counting_allocations();
  EXPECT_TRUE(written.ok());
  return counted.allocations;
}

TEST(WriteAllocations, DoNotGrowWithTheNumberOfObjects) {
  for (XrefForm form : {XrefForm::XrefStreamForm, XrefForm::XrefTableForm}) {
    SCOPED_TRACE(form == XrefForm::XrefStreamForm ? "stream form" : "table form");
    EXPECT_EQ(allocations_writing(3, form), allocations_writing(300, form));
  }
}

#else

TEST(WriteAllocations, DoNotGrowWithTheNumberOfObjects) {
  GTEST_SKIP() << "allocations are counted only by the replaced allocation functions";
}

#endif

}  // namespace
}  // namespace vantril
