// The object table's node pool: tables keep their contents through every way a document can be
// moved, assigned, swapped and reused, and a large table does not allocate per object.
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <memory>
#include <random>
#include <utility>
#include <vector>

#include "runtime/allocation_count.hpp"
#include "vantril/model/document.hpp"

namespace vantril {
namespace {

std::vector<std::uint32_t> numbers_in(const Document& document) {
  std::vector<std::uint32_t> numbers;
  for (const auto& [id, object] : document.object_table) {
    EXPECT_EQ(*object.integer(), std::int64_t{id.number} * 10) << id.number;
    numbers.push_back(id.number);
  }
  return numbers;
}

Document numbered(std::uint32_t first, std::uint32_t last) {
  Document document;
  for (std::uint32_t number = first; number <= last; ++number) {
    put_object(document, {number, 0}, std::int64_t{number} * 10);
  }
  return document;
}

std::vector<std::uint32_t> range(std::uint32_t first, std::uint32_t last) {
  std::vector<std::uint32_t> numbers;
  for (std::uint32_t number = first; number <= last; ++number) numbers.push_back(number);
  return numbers;
}

// Each way of handing a table on, with the documents involved destroyed in every order; a node
// freed with the wrong pool or a pool freed too early shows under the address sanitizer, and a
// lost or mixed-up node shows in the contents.
TEST(NodePool, TablesKeepTheirNodesWhenDocumentsAreMovedAssignedAndSwapped) {
  {
    Document source = numbered(1, 100);
    Document moved(std::move(source));
    source = numbered(500, 520);  // the moved-from document is used again
    EXPECT_EQ(numbers_in(moved), range(1, 100));
    EXPECT_EQ(numbers_in(source), range(500, 520));
  }
  {
    auto source = std::make_unique<Document>(numbered(1, 50));
    Document target = numbered(1000, 1200);
    target = std::move(*source);
    source.reset();  // the pool that made the nodes outlives the document it came with
    put_object(target, {51, 0}, std::int64_t{510});
    EXPECT_EQ(numbers_in(target), range(1, 51));
  }
  {
    Document a = numbered(1, 30);
    Document b = numbered(40, 45);
    std::swap(a, b);
    put_object(a, {46, 0}, std::int64_t{460});
    put_object(b, {31, 0}, std::int64_t{310});
    EXPECT_EQ(numbers_in(a), range(40, 46));
    EXPECT_EQ(numbers_in(b), range(1, 31));
  }
}

// Replacing and erasing free nodes for reuse; the table agrees with a plain map throughout.
TEST(NodePool, ErasedNodesAreReusedAndTheTableAgreesWithAPlainMap) {
  std::mt19937 random(7);
  Document document;
  std::map<std::uint32_t, std::int64_t> model;
  for (int step = 0; step < 20000; ++step) {
    const std::uint32_t number = static_cast<std::uint32_t>(random() % 2000) + 1;
    if (random() % 3 == 0) {
      EXPECT_EQ(document.object_table.erase({number, 0}), model.erase(number));
    } else {
      put_object(document, {number, 0}, std::int64_t{number} * 10);
      model[number] = std::int64_t{number} * 10;
    }
  }
  std::vector<std::uint32_t> expected;
  for (const auto& entry : model) expected.push_back(entry.first);
  EXPECT_EQ(numbers_in(document), expected);
}

#if defined(VANTRIL_ALLOCATION_COUNTING)

// Nodes come from chunks: ten thousand objects (integers, which own no storage of their own)
// take a few dozen allocations, not ten thousand; erasing and storing again takes none.
TEST(NodePool, AManyObjectTableAllocatesChunksNotNodes) {
  Document document;
  start_counting_allocations();
  for (std::uint32_t number = 1; number <= 10000; ++number) append_object(document, 1);
  const AllocationCount filling = stop_counting_allocations();
  EXPECT_LT(filling.allocations, 50u);

  for (std::uint32_t number = 1; number <= 10000; number += 2) {
    document.object_table.erase({number, 0});
  }
  start_counting_allocations();
  for (std::uint32_t number = 1; number <= 10000; number += 2) put_object(document, {number, 0}, 2);
  EXPECT_EQ(stop_counting_allocations().allocations, 0u);
  EXPECT_EQ(document.object_table.size(), 10000u);
}

#endif

}  // namespace
}  // namespace vantril
