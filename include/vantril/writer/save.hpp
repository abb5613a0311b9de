// Saving a document as a complete PDF file: header, body, cross-reference section, tail.
#pragma once

#include <string_view>

#include "vantril/detail/export.hpp"
#include "vantril/error.hpp"
#include "vantril/model/document.hpp"
#include "vantril/writer/counting_sink.hpp"
#include "vantril/writer/output_file.hpp"
#include "vantril/writer/save_options.hpp"

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

// The same two operations with options (see SaveOptions): Flate-compressed streams and object
// streams. With the default options they write exactly the bytes of the two above. The options
// are checked first (check_save_options): Unsupported when compression is asked of a build
// without libdeflate, InvalidInput for values out of range or for object streams in the table
// form; save_to_path then creates no file. Object streams take the numbers above the highest
// number in use and raise highest_number past them (a stored object numbered above
// highest_number raises it first), before the cross-reference stream takes the next one. The
// document's streams and objects are only read: a compressed save leaves their data as it was.
// The bytes depend only on the document, the options and, when compressing, the libdeflate
// version: the helper thread that compresses object streams changes nothing in them.
VANTRIL_API Result<OutputFile> save_to_path(Document& document, std::string_view path,
                                            const SaveOptions& options);
VANTRIL_API Status write_document(Document& document, CountingSink& sink,
                                  const SaveOptions& options);

}  // namespace vantril
