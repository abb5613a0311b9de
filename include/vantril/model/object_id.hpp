// The name of an indirect object: object number and generation, ordered by number first.
#pragma once

#include <compare>
#include <cstdint>

namespace vantril {

struct ObjectId {
  std::uint32_t number = 0;
  std::uint16_t generation = 0;

  friend constexpr bool operator==(ObjectId, ObjectId) = default;
  // NOLINTNEXTLINE(modernize-use-nullptr): clang-tidy 14 takes the defaulted <=>'s 0 for a pointer
  friend constexpr auto operator<=>(ObjectId, ObjectId) = default;
};

}  // namespace vantril
