// The append behind append_revision and append_signature: one revision formed in memory and
// written at the file's end, with the places of a signature dictionary's placeholders. Defined
// in append.cpp.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "vantril/error.hpp"
#include "vantril/model/document.hpp"
#include "vantril/revision.hpp"

namespace vantril {

// Where a signature dictionary's fixed-width "/ByteRange" value and its "/Contents" hex string
// (angle brackets included) lie in the file.
struct PlaceholderOffsets {
  std::uint64_t byte_range = 0;
  std::uint64_t contents = 0;
  std::uint64_t contents_end = 0;
};

// The "/ByteRange" for placeholders in a file of `file_length` bytes: everything but "/Contents".
inline std::array<std::uint64_t, 4> signed_ranges(const PlaceholderOffsets& at,
                                                  std::uint64_t file_length) {
  return {0, at.contents, at.contents_end, file_length - at.contents_end};
}

struct AppendedRevision {
  RevisionState state;
  std::optional<PlaceholderOffsets> placeholders;
};

// append_revision; the object under `signature`, which must be among those written, is written
// as a signature dictionary with placeholders, its "/ByteRange" filled in before the revision is
// written; the placeholders' offsets come back.
Result<AppendedRevision> append_revision_with(Document& document, std::string_view path,
                                              const RevisionState& state,
                                              std::span<const ObjectId> changed,
                                              std::span<const ObjectId> replaced,
                                              std::optional<ObjectId> signature);

// Sets in `state` the Root, Info and ID the trailer holds; InvalidInput, with `state` unchanged,
// when one of them is present with the wrong kind.
Status take_carried_entries(const Dictionary& trailer, RevisionState& state);

}  // namespace vantril
