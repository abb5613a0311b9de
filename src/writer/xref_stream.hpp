// The cross-reference section as a stream object that also carries the trailer's entries.
#pragma once

#include <cstdint>

#include "vantril/error.hpp"
#include "vantril/model/object.hpp"
#include "vantril/writer/counting_sink.hpp"
#include "writer/xref_record.hpp"

namespace vantril {

// Writes the cross-reference stream at `xref_position` (the sink's count right after the body)
// under the number one above the record's highest number (declared_size - 1: the highest number
// handed out or stored), and leaves `highest_number` (a document's or a streaming writer's) at
// the stream's number. Before writing, it sets "Type", "Size", "W", "Index", removes "Filter",
// "DecodeParms", "Prev" and "XRefStm" and sets "Length" in the trailer, in that order, and
// writes the trailer as the stream's dictionary; these changes stay even when the write fails.
// Lists every recorded number from 1 to the stream's own. The entries go to the sink a few
// thousand at a time, never all in memory.
Status write_xref_stream(Dictionary& trailer, std::uint32_t& highest_number, CountingSink& sink,
                         XrefRecord& record, std::uint64_t xref_position);

}  // namespace vantril
