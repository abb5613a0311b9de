// The pieces of the file layout that appending a revision shares with a whole save.
#pragma once

#include <cstdint>

#include "vantril/error.hpp"
#include "vantril/model/document.hpp"
#include "vantril/writer/counting_sink.hpp"
#include "vantril/writer/save_options.hpp"
#include "writer/xref_record.hpp"

namespace vantril {

// write_document with the options, also handing back where the cross-reference section starts
// (the number after "startxref").
Result<std::uint64_t> write_document_layout(Document& document, CountingSink& sink,
                                            const SaveOptions& options);

// One table subsection: "<start> <count>\n" and a 20-byte row per slot; nothing for an empty
// run. A whole file's table is one subsection from 0; an appended revision's lists only the
// numbers it changes, in runs.
Status write_subsection(const XrefRun& run, CountingSink& sink);

// "\nstartxref\n", the section's position in decimal and "\n%%EOF": the end of every revision.
Status write_file_tail(CountingSink& sink, std::uint64_t xref_position);

}  // namespace vantril
