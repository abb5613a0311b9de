// The cross-reference section as a stream object that also carries the trailer's entries.
#pragma once

#include <cstdint>

#include "vantril/error.hpp"
#include "vantril/model/object.hpp"
#include "vantril/writer/counting_sink.hpp"
#include "writer/xref_record.hpp"

namespace vantril {

// The "Index" array and the entries of a cross-reference stream listing every recorded number
// from `first` (at least 1) to `last`; with `list_object_zero`, object 0 leads as the end of the
// free list. The entries' fields are 1, 4 and 2 bytes wide, or with `narrow` as narrow as the
// largest entry allows (the widths say which).
struct XrefStreamContent {
  Array index;
  Bytes entries;
  int second_width = 4;
  int third_width = 2;
};
Result<XrefStreamContent> xref_stream_content(const XrefRecord& record, std::uint32_t first,
                                              std::uint32_t last, bool list_object_zero,
                                              bool narrow);

// Writes the cross-reference stream at `xref_position` (the sink's count right after the body,
// which the caller has checked with check_section_fits)
// under the number one above the record's highest number (declared_size - 1: the highest number
// handed out or stored), and leaves `highest_number` (a document's or a streaming writer's) at
// the stream's number. Before writing, it sets "Type", "Size", "W", "Index", removes "Filter",
// "DecodeParms", "Prev" and "XRefStm" and sets "Length" in the trailer, in that order, and
// writes the trailer as the stream's dictionary; these changes stay even when the write fails.
// Lists every recorded number from 1 to the stream's own, after object 0 when the record's
// stream_lists_object_zero says so. Uncompressed, the entries go to the sink a few thousand at a
// time, never all in memory.
// With a compression level (1 to 12; 0 for none) the fields are as narrow as the largest entry
// allows, and the rows are compressed after the PNG Up predictor: the written dictionary adds
// "Filter" and "DecodeParms", and "Length" (in the trailer too) is the compressed length.
Status write_xref_stream(Dictionary& trailer, std::uint32_t& highest_number, CountingSink& sink,
                         XrefRecord& record, std::uint64_t xref_position, int compression_level);

}  // namespace vantril
