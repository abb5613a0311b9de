// The object table: it keeps its contents through every way a document can be moved, assigned,
// swapped and reused, agrees with an ordered map, and does not allocate per object.
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

// Each way of handing a table on, with the documents involved destroyed in every order; storage
// freed twice or too early shows under the address sanitizer, a lost or mixed-up entry in the
// contents.
TEST(ObjectTable, TablesKeepTheirEntriesWhenDocumentsAreMovedAssignedAndSwapped) {
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
    source.reset();
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

// Dense numbers, second generations and numbers far beyond the rest, stored, replaced and
// erased by identifier and through iterators: the table walks forwards, backwards and from a
// lower bound exactly as an ordered map of the same entries does.
TEST(ObjectTable, AgreesWithAnOrderedMapUnderRandomChurn) {
  std::mt19937 random(7);
  ObjectTable table;
  std::map<ObjectId, std::int64_t> model;
  auto random_id = [&random]() -> ObjectId {
    switch (random() % 8) {
      case 0:
        return {static_cast<std::uint32_t>(random() % 3000),
                static_cast<std::uint16_t>(1 + random() % 3)};
      case 1:
        return {0xFFFFFFFFu - static_cast<std::uint32_t>(random() % 4), 0};
      case 2:
        return {static_cast<std::uint32_t>(random()), static_cast<std::uint16_t>(random() % 2)};
      default:
        return {static_cast<std::uint32_t>(random() % 3000), 0};
    }
  };
  auto value_of = [](ObjectId id) { return std::int64_t{id.number} * 7 + id.generation; };
  auto walk = [&](auto begin, auto end) {
    std::vector<std::pair<ObjectId, std::int64_t>> seen;
    for (auto it = begin; it != end; ++it) seen.emplace_back(it->first, *it->second.integer());
    return seen;
  };
  auto expected = [&](auto begin, auto end) {
    return std::vector<std::pair<ObjectId, std::int64_t>>(begin, end);
  };
  for (int step = 0; step < 30000; ++step) {
    const ObjectId id = random_id();
    switch (random() % 6) {
      case 0:
        ASSERT_EQ(table.erase(id), model.erase(id));
        break;
      case 1: {
        // Through the iterator a lower bound gives, and the one erase returns.
        auto it = table.lower_bound(id);
        auto modelled = model.lower_bound(id);
        ASSERT_EQ(it == table.end(), modelled == model.end());
        if (modelled != model.end()) {
          ASSERT_EQ(it->first, modelled->first);
          it = table.erase(it);
          modelled = model.erase(modelled);
          ASSERT_EQ(it == table.end(), modelled == model.end());
          if (modelled != model.end()) {
            ASSERT_EQ(it->first, modelled->first);
          }
        }
        break;
      }
      case 2: {
        const bool fresh = table.emplace(id, Object(value_of(id))).second;
        ASSERT_EQ(fresh, model.emplace(id, value_of(id)).second);
        break;
      }
      default:
        table.insert_or_assign(id, Object(value_of(id)));
        model.insert_or_assign(id, value_of(id));
        break;
    }
    ASSERT_EQ(table.size(), model.size());
    ASSERT_EQ(table.contains(id), model.count(id) != 0);
    if (step % 1000 == 0) {
      ASSERT_EQ(walk(table.begin(), table.end()), expected(model.begin(), model.end()));
      ASSERT_EQ(walk(table.rbegin(), table.rend()), expected(model.rbegin(), model.rend()));
      const ObjectId from = random_id();
      ASSERT_EQ(walk(table.lower_bound(from), table.end()),
                expected(model.lower_bound(from), model.end()));
      if (!model.empty()) {
        // Backwards from the middle, as std::prev walks.
        const ObjectId middle =
            std::next(model.begin(), static_cast<std::ptrdiff_t>(model.size() / 2))->first;
        auto it = table.find(middle);
        auto modelled = model.find(middle);
        for (int back = 0; back < 20 && modelled != model.begin(); ++back) {
          --it;
          --modelled;
          ASSERT_EQ(it->first, modelled->first);
        }
      }
    }
  }
  ASSERT_EQ(walk(table.begin(), table.end()), expected(model.begin(), model.end()));
}

#if defined(VANTRIL_ALLOCATION_COUNTING)

// Entries go into chunks of slots: ten thousand objects (integers, which own no storage of their
// own) take a few dozen allocations, not ten thousand; erasing and storing again takes none.
TEST(ObjectTable, AManyObjectTableAllocatesChunksNotEntries) {
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
