// The pieces of a PDF file that every writer shares: the header line, which objects a file
// leaves out, and the end (cross-reference section, trailer and tail). A document's save and the
// streaming writer both write through these, so the two write the same bytes.
#pragma once

#include <cstdint>
#include <string_view>

#include "vantril/error.hpp"
#include "vantril/model/object.hpp"
#include "vantril/writer/counting_sink.hpp"
#include "writer/xref_record.hpp"

namespace vantril {

// "%PDF-", the version text as given, "\n".
Status write_header(CountingSink& sink, std::string_view version);

// True for a dictionary or stream typed "XRef", "ObjStm" or "Linearized": these describe a source
// file's layout, not the one being written, and no file written here carries them.
bool is_left_out(const Object& object);

// Everything after the body: the cross-reference section in the record's form, starting at the
// sink's current count, then "\nstartxref\n", its position and "\n%%EOF". The table form sets
// "Size" in the trailer and writes it after "trailer\n"; the stream form raises highest_number
// for the stream's own number and sets the trailer entries write_xref_stream names. Fails with
// the sink's first error, or FileTooLarge when the section would start beyond a 32-bit offset.
Status write_file_end(Dictionary& trailer, std::uint32_t& highest_number, XrefRecord& record,
                      CountingSink& sink);

}  // namespace vantril
