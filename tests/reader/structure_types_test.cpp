// The structure's compact value types: IdRuns against a plain list of identifiers, and FileSlot's
// shared location word read back through each kind's accessors.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <limits>
#include <random>
#include <ranges>
#include <vector>

#include "vantril/id_runs.hpp"
#include "vantril/reader.hpp"

namespace vantril {
namespace {

static_assert(std::forward_iterator<IdRuns::Iterator>);
static_assert(std::ranges::forward_range<IdRuns>);

constexpr std::uint32_t max_u32 = std::numeric_limits<std::uint32_t>::max();

IdRuns runs_of(const std::vector<ObjectId>& ids) {
  IdRuns runs;
  for (const ObjectId id : ids) EXPECT_TRUE(runs.push_back(id)) << id.number;
  return runs;
}

// Where a run must start: the first id, and every id that is not the next number of the one
// before with its generation.
std::size_t run_starts(const std::vector<ObjectId>& ids) {
  std::size_t starts = 0;
  for (std::size_t i = 0; i < ids.size(); ++i) {
    if (i == 0 || ids[i].generation != ids[i - 1].generation ||
        std::uint64_t{ids[i].number} != std::uint64_t{ids[i - 1].number} + 1) {
      ++starts;
    }
  }
  return starts;
}

TEST(IdRuns, AMillionConsecutiveIdsAreOneRun) {
  IdRuns runs;
  for (std::uint32_t number = 1; number <= 1'000'000; ++number) {
    ASSERT_TRUE(runs.push_back({number, 0}));
  }
  EXPECT_EQ(runs.size(), 1'000'000u);
  ASSERT_EQ(runs.runs().size(), 1u);
  EXPECT_EQ(runs.runs()[0], (IdRuns::Run{1, 1'000'000, 0}));
}

TEST(IdRuns, RefusesAnIdNotAfterTheLast) {
  IdRuns runs = runs_of({{3, 0}, {4, 1}});
  const IdRuns before = runs;
  for (const ObjectId id : {ObjectId{4, 1}, ObjectId{4, 0}, ObjectId{2, 9}}) {
    EXPECT_FALSE(runs.push_back(id)) << id.number << " " << id.generation;
  }
  EXPECT_EQ(runs, before);
  EXPECT_TRUE(IdRuns::from_ascending({{2, 0}, {1, 0}}).empty());
  EXPECT_TRUE(IdRuns::from_ascending({{1, 0}, {1, 0}}).empty());
}

// Random ascending lists with gaps, runs and generation changes, against the plain list.
TEST(IdRuns, AgreesWithAPlainListOfIds) {
  std::mt19937_64 random(2718);
  for (int round = 0; round < 300; ++round) {
    std::vector<ObjectId> ids;
    // Some lists end near the highest number, where a run's end must not wrap.
    std::uint64_t number = round % 5 == 0 ? max_u32 - 40 : random() % 4;
    std::uint16_t generation = 0;
    const std::size_t length = random() % 60;
    for (std::size_t i = 0; i < length && number <= max_u32; ++i) {
      ids.push_back(ObjectId{static_cast<std::uint32_t>(number), generation});
      switch (random() % 6) {
        case 0:  // a gap
          number += 2 + random() % 5;
          break;
        case 1:  // a later generation of the same number
          generation = static_cast<std::uint16_t>(generation + 1 + random() % 3);
          break;
        case 2:  // the next number with another generation
          ++number;
          generation = static_cast<std::uint16_t>(random() % 3);
          break;
        default:
          ++number;
      }
    }
    SCOPED_TRACE(round);
    const IdRuns runs = runs_of(ids);
    EXPECT_EQ(runs.size(), ids.size());
    EXPECT_EQ(runs.runs().size(), run_starts(ids));
    EXPECT_TRUE(std::ranges::equal(runs, ids));
    EXPECT_EQ(IdRuns::from_ascending(ids), runs);
    for (const ObjectId id : ids) EXPECT_TRUE(runs.contains(id));
    // Probes next to the ids held: one number either side, any of a few generations.
    for (int probe = 0; probe < 20; ++probe) {
      const std::uint32_t near = ids.empty() ? 0 : ids[random() % ids.size()].number;
      const ObjectId id{near + static_cast<std::uint32_t>(random() % 3) - 1u,
                        static_cast<std::uint16_t>(random() % 4)};
      EXPECT_EQ(runs.contains(id), std::binary_search(ids.begin(), ids.end(), id));
    }
    if (!ids.empty()) {
      std::vector<ObjectId> fewer = ids;
      fewer.erase(fewer.begin() + static_cast<std::ptrdiff_t>(random() % fewer.size()));
      EXPECT_NE(runs_of(fewer), runs);
    }
  }
}

TEST(FileSlot, EachKindReadsBackWhatItWasMadeWith) {
  struct Case {
    FileSlot slot;
    XrefSlotKind kind;
    std::uint16_t generation;
    std::uint64_t offset;
    std::uint64_t next_free;
    std::uint32_t object_stream;
    std::uint32_t index;
  };
  constexpr std::uint64_t past_4_gib = (std::uint64_t{1} << 32) + 5;
  constexpr std::uint64_t max_u64 = std::numeric_limits<std::uint64_t>::max();
  const std::vector<Case> cases = {
      {FileSlot::in_use(1, 0, 15), XrefSlotKind::InUse, 0, 15, 0, 0, 0},
      {FileSlot::in_use(2, 65535, past_4_gib), XrefSlotKind::InUse, 65535, past_4_gib, 0, 0, 0},
      {FileSlot::in_use(3, 1, max_u64), XrefSlotKind::InUse, 1, max_u64, 0, 0, 0},
      {FileSlot::in_object_stream(4, 9, 0), XrefSlotKind::InObjectStream, 0, 0, 0, 9, 0},
      {FileSlot::in_object_stream(5, max_u32, 1), XrefSlotKind::InObjectStream, 0, 0, 0, max_u32,
       1},
      {FileSlot::in_object_stream(6, 1, max_u32), XrefSlotKind::InObjectStream, 0, 0, 0, 1,
       max_u32},
      {FileSlot::in_object_stream(7, max_u32, max_u32), XrefSlotKind::InObjectStream, 0, 0, 0,
       max_u32, max_u32},
      {FileSlot::free(8, 2, past_4_gib), XrefSlotKind::Free, 2, 0, past_4_gib, 0, 0},
      {FileSlot::free_final(0, 65535, 0), XrefSlotKind::FreeFinal, 65535, 0, 0, 0, 0},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(i);
    const Case& test = cases[i];
    EXPECT_EQ(test.slot.kind, test.kind);
    EXPECT_EQ(test.slot.generation, test.generation);
    EXPECT_EQ(test.slot.offset(), test.offset);
    EXPECT_EQ(test.slot.next_free(), test.next_free);
    EXPECT_EQ(test.slot.object_stream(), test.object_stream);
    EXPECT_EQ(test.slot.index(), test.index);
  }
  EXPECT_EQ(FileSlot::in_object_stream(4, 1, 2), FileSlot::in_object_stream(4, 1, 2));
  EXPECT_NE(FileSlot::in_object_stream(4, 1, 2), FileSlot::in_object_stream(4, 2, 1));
  EXPECT_NE(FileSlot::in_use(4, 0, 2), FileSlot::free(4, 0, 2));
  EXPECT_NE(FileSlot::in_use(4, 0, 2), FileSlot::in_use(4, 0, 3));
}

}  // namespace
}  // namespace vantril
