// The pieces of a PDF file that every writer shares: the header line, which objects a file
// leaves out, the end (cross-reference section, trailer and tail), a table subsection and the
// tail alone. A document's save, the streaming writer and an appended revision all write through
// these, so they write the same bytes.
#pragma once

#include <cstdint>
#include <string_view>

#include "vantril/error.hpp"
#include "vantril/model/document.hpp"
#include "vantril/model/object.hpp"
#include "vantril/writer/counting_sink.hpp"
#include "vantril/writer/save_options.hpp"
#include "writer/xref_record.hpp"

namespace vantril {

// "%PDF-", the version text as given, "\n".
Status write_header(CountingSink& sink, std::string_view version);

// write_document with the options, also handing back where the cross-reference section starts
// (the number after "startxref").
Result<std::uint64_t> write_document_layout(Document& document, CountingSink& sink,
                                            const SaveOptions& options);

// FileTooLarge when a cross-reference section would start at `position`, beyond what a 32-bit
// offset (in "startxref" and the section's readers) can reach.
Status check_section_fits(std::uint64_t position);

// Everything after the body: the cross-reference section in the record's form, starting at the
// sink's current count, then the tail. The table form sets "Size" in the trailer and writes it
// after "trailer\n"; the stream form raises highest_number for the stream's own number and sets
// the trailer entries write_xref_stream names. Fails with the sink's first error, FileTooLarge
// when the section would start beyond a 32-bit offset, or InvalidInput for a stream inside the
// trailer. A compression level above 0 compresses a cross-reference stream (see
// write_xref_stream).
Status write_file_end(Dictionary& trailer, std::uint32_t& highest_number, XrefRecord& record,
                      CountingSink& sink, int compression_level);

// One table subsection: "<start> <count>\n" and a 20-byte row per slot of the run, read from the
// record; nothing for an empty run. A whole file's table is one subsection from 0; an appended
// revision's lists only the numbers it changes, in runs.
Status write_subsection(const XrefRecord& record, const XrefRun& run, CountingSink& sink);

// "\nstartxref\n", the section's position in decimal and "\n%%EOF": the end of every revision.
Status write_file_tail(CountingSink& sink, std::uint64_t xref_position);

}  // namespace vantril
