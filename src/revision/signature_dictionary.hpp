// The signature dictionary's own writing: its "/ByteRange" as a fixed-width placeholder that is
// patched in place once the file's length is known, and the offsets of both placeholders.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "revision/append_core.hpp"
#include "vantril/detail/emitter.hpp"
#include "vantril/error.hpp"
#include "vantril/model/object.hpp"
#include "writer/xref_record.hpp"

namespace vantril {

// "[", four numbers of up to 10 digits with a space before each but the first, "]": the width
// every "/ByteRange" value is written with, padded with spaces before the "]".
inline constexpr std::size_t byte_range_width = 36;

// The byte range as its fixed-width text.
std::string byte_range_text(const std::array<std::uint64_t, 4>& range);

// Writes the dictionary as the indirect object `id` through the emitter's walk, except that
// "/ByteRange" gets byte_range_text of zeros; records its slot. The "/Contents" value is written
// as held (a hex string of zero bytes). InvalidInput when either entry is missing or "/Contents"
// is not a hex string.
Result<PlaceholderOffsets> write_signature_dictionary(detail::Emitter& emitter, ObjectId id,
                                                      const Dictionary& dictionary,
                                                      XrefRecord& record);

}  // namespace vantril
