// Saving a document as a complete PDF file: header, body, cross-reference section, tail.
#pragma once

#include <string_view>

#include "model/document.hpp"
#include "runtime/result.hpp"
#include "writer/counting_sink.hpp"
#include "writer/output_file.hpp"
#include "writer/xref_record.hpp"

namespace vantril {

// Creates or empties the file at `path`, writes the document through an 8192-byte buffer and
// hands back the file, flushed and still open. On the first error the bytes still buffered are
// written out (errors ignored), the file is closed and left on disk, and the error is returned
// unchanged. The save changes the document: "Size" in the trailer (table form), or
// highest_number and the cross-reference stream's trailer entries (stream form). The errors are
// those of creating and writing the file (see OutputFile) and FileTooLarge for an object or
// cross-reference section that would start at or beyond 4 GiB.
Result<OutputFile> save_to_path(Document& document, std::string_view path);

// The whole file, from "%PDF-" to the final "%%EOF" (no line feed after it), into the sink.
// Objects typed "XRef", "ObjStm" or "Linearized" are left out of the body and the section.
// Fails with the sink's first error or with FileTooLarge, as save_to_path does.
Status write_document(Document& document, CountingSink& sink);

// "<start> <count>\n" and one 20-byte row per slot; nothing for an empty run.
Status write_subsection(const XrefRun& run, CountingSink& sink);

}  // namespace vantril
