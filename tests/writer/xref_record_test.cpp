// The record's number table: every slot reads back as recorded, whichever of its stores holds it
// (the number table, the runs of packed objects, the side table), and replacing a slot moves it
// between them without losing or double-counting it.
#include "writer/xref_record.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <optional>
#include <random>
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

// Packed objects are kept in runs that recording merges and replacing splits: random sequences
// of packed slots, mostly continuing a run (the usual case), sometimes not, with numbers
// re-recorded as packed elsewhere or as top-level objects, against a plain map.
TEST(XrefSlotMap, PackedRunsReadBackAsRecordedThroughMergesAndSplits) {
  for (std::uint32_t seed = 0; seed < 50; ++seed) {
    std::mt19937 random(seed);
    XrefSlotMap map;
    map.reserve(seed % 2 == 0 ? 0 : 64);
    std::map<std::uint32_t, XrefSlot> expected;
    std::uint32_t number = 1;
    std::uint32_t container = 500;
    std::uint16_t place = 0;
    for (int step = 0; step < 400; ++step) {
      const auto choice = random() % 10;
      XrefSlot slot{XrefSlotKind::InObjectStream, place, container};
      if (choice == 0) {
        // A new object stream.
        ++container;
        place = 0;
        slot = XrefSlot{XrefSlotKind::InObjectStream, place, container};
      } else if (choice == 1) {
        // A number already recorded, packed again or written at top level.
        number = static_cast<std::uint32_t>(random() % 200);
        slot = random() % 2 == 0 ? XrefSlot{XrefSlotKind::InUse, 0, 77}
                                 : XrefSlot{XrefSlotKind::InObjectStream, place, container};
      } else if (choice == 2) {
        // A gap in the numbers, or a place out of turn.
        number += 1 + static_cast<std::uint32_t>(random() % 3);
        place = static_cast<std::uint16_t>(place + random() % 2);
        slot = XrefSlot{XrefSlotKind::InObjectStream, place, container};
      }
      map.insert_or_assign(number, slot);
      expected.insert_or_assign(number, slot);
      if (slot.kind == XrefSlotKind::InObjectStream) ++place;
      ++number;
    }
    ASSERT_EQ(map.size(), expected.size()) << "seed " << seed;
    for (std::uint32_t n = 0; n < number + 5; ++n) {
      const auto held = expected.find(n);
      if (held == expected.end()) {
        ASSERT_FALSE(map.contains(n)) << "seed " << seed << ", number " << n;
      } else {
        ASSERT_EQ(map.find(n), std::optional<XrefSlot>(held->second))
            << "seed " << seed << ", number " << n;
      }
    }
  }
}

}  // namespace
}  // namespace vantril
