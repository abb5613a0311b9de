// Saving a document as a complete PDF file: header, body, cross-reference section, tail.
#pragma once

#include <string_view>

#include "vantril/detail/export.hpp"
#include "vantril/error.hpp"
#include "vantril/model/document.hpp"
#include "vantril/writer/counting_sink.hpp"
#include "vantril/writer/output_file.hpp"

namespace vantril {

// Creates or empties the file at `path`, writes the document through an 8192-byte buffer and
// hands back the file, flushed and still open. On the first error the bytes still buffered are
// written out (errors ignored), the file is closed and left on disk, and the error is returned
// unchanged. The save changes the document: "Size" in the trailer (table form), or
// highest_number and the cross-reference stream's trailer entries (stream form). The errors are
// those of creating and writing the file (see OutputFile) and FileTooLarge for an object or
// cross-reference section that would start at or beyond 4 GiB.
VANTRIL_API Result<OutputFile> save_to_path(Document& document, std::string_view path);

// The whole file, from "%PDF-" to the final "%%EOF" (no line feed after it), into the sink.
// Objects typed "XRef", "ObjStm" or "Linearized" are left out of the body and the section.
// Fails with the sink's first error or with FileTooLarge, as save_to_path does.
VANTRIL_API Status write_document(Document& document, CountingSink& sink);

}  // namespace vantril
