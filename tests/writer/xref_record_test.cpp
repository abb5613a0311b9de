// The record's number table: every slot reads back as recorded, whichever of its two stores holds
// it, and replacing a slot moves it between them without losing or double-counting it.
#include "writer/xref_record.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <utility>
#include <vector>

namespace vantril {
namespace {

TEST(XrefSlotMap, ReadsBackEverySlotAsRecorded) {
  const std::vector<XrefSlot> slots = {
      {XrefSlotKind::InUse, 0, 0},
      {XrefSlotKind::InUse, 0, 9},
      {XrefSlotKind::InUse, 0, 0xFFFFFFFDu},
      // The two offsets nearest 4 GiB look like the table's markers and must still come back.
      {XrefSlotKind::InUse, 0, 0xFFFFFFFEu},
      {XrefSlotKind::InUse, 0, 0xFFFFFFFFu},
      {XrefSlotKind::InUse, 7, 120},
      {XrefSlotKind::Free, 0, 0},
      {XrefSlotKind::FreeFinal, 0, 0},
      {XrefSlotKind::InObjectStream, 3, 42},
  };
  // Numbers in the first block, past it in the first chunk, far beyond, and the last number.
  const std::vector<std::uint32_t> numbers = {0, 1, 99, 100, 70000, 3000000, 0xFFFFFFFFu};
  for (const std::size_t reserved : {std::size_t{0}, std::size_t{100}}) {
    XrefSlotMap map;
    map.reserve(reserved);
    std::map<std::uint32_t, XrefSlot> expected;
    // Every number gets every slot in turn, so each replaces one of each kind.
    for (const XrefSlot& slot : slots) {
      for (const std::uint32_t number : numbers) {
        map.insert_or_assign(number, slot);
        expected.insert_or_assign(number, slot);
        ASSERT_EQ(map.size(), expected.size());
        for (const auto& [n, held] : expected) ASSERT_EQ(map.at(n), held) << n;
      }
    }
    for (const std::uint32_t absent : {2u, 101u, 70001u, 0xFFFFFFFEu}) {
      EXPECT_FALSE(map.contains(absent)) << absent;
      EXPECT_FALSE(map.find(absent).has_value()) << absent;
    }
  }
}

}  // namespace
}  // namespace vantril
