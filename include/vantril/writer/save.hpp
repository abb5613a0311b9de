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
// written out (errors ignored), the file is closed and left on disk as it is (a truncated file,
// not a valid PDF), and the error is returned unchanged.
//
// Every stored object is written and listed under its own number; the cross-reference stream
// takes the number above the highest stored or handed out. A classic table is one subsection
// from 0 to that highest number, numbers without a written object being free entries linked
// in ascending order from object 0, and "Size" is its number of rows.
//
// The save changes the document, and the changes stay even when it fails later: the trailer
// becomes the one written ("Size"; in stream form also "Type", "W", "Index" and "Length"; the
// keys of the other form and of another file's layout, "Filter", "DecodeParms", "Prev",
// "XRefStm", are removed), and in stream form highest_number becomes the stream's number. None
// of this spoils a later save of the same document, in either form.
//
// The errors are those of creating and writing the file (see OutputFile), FileTooLarge for an
// object or cross-reference section that would start at or beyond 4 GiB, and InvalidInput for a
// stream inside an array or dictionary (of an object or of the trailer), with a message naming
// its holder: "object 12 0 holds a stream inside a dictionary; a stream must be an indirect
// object". An object stored under number 0 fails with InvalidInput before anything is written.
VANTRIL_API Result<OutputFile> save_to_path(Document& document, std::string_view path);

// The whole file, from "%PDF-" to the final "%%EOF" (no line feed after it), into the sink.
// Objects typed "XRef", "ObjStm" or "Linearized" are left out of the body and the section.
// Changes the document and fails as save_to_path does: on the sink's first error, FileTooLarge
// or InvalidInput.
VANTRIL_API Status write_document(Document& document, CountingSink& sink);

}  // namespace vantril
