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
// object". A value no PDF token carries fails with InvalidInput naming its holder and the value,
// with none of the holder's bytes written: a real that is NaN or infinite ("object 7 0 holds the
// real NaN, which PDF cannot write"; "infinity", "-infinity"), a name or a dictionary key holding
// a NUL byte ("object 7 0 holds a name with a NUL byte (/a#00b), which PDF cannot write"; "a
// dictionary key with ..."); the objects before it stay written, and a trailer holding one
// (named "the trailer") leaves the file ending at the body. Whole reals of magnitude 2^63 or more
// are written with ".0" after their digits, which readers read as a real rather than as an
// integer out of range. An object stored under number 0 fails with InvalidInput before anything
// is written.
VANTRIL_API Result<OutputFile> save_to_path(Document& document, std::string_view path);

// The whole file, from "%PDF-" to the final "%%EOF" (no line feed after it), into the sink.
// Objects typed "XRef", "ObjStm" or "Linearized" are left out of the body and the section.
// Changes the document and fails as save_to_path does: on the sink's first error, FileTooLarge
// or InvalidInput.
VANTRIL_API Status write_document(Document& document, CountingSink& sink);

// The same two operations with options (see SaveOptions): Flate-compressed streams and object
// streams. With the default options they write exactly the bytes of the two above. The options
// are checked first (check_save_options): Unsupported when compression is asked of a build
// without libdeflate, InvalidInput for values out of range or for object streams in the table
// form; save_to_path then creates no file. So does a document the structure check refuses when
// options.check_structure asks for it (InvalidInput with the first problem's message). Object
// streams take the numbers above the highest number in use (a stored object's too) and leave
// highest_number at the last of them, before the cross-reference stream takes the next one. A
// stream nested in an object packed into an object stream, or a value no token carries there, fails
// the save with the same InvalidInput error as at top level, once the objects left at top level are
// written and before any object stream. The document's streams and objects are only read: a
// compressed save leaves their data as it was. The bytes depend only on the document, the options
// and, when compressing, the libdeflate version: the helper thread that compresses object streams
// changes nothing in them.
VANTRIL_API Result<OutputFile> save_to_path(Document& document, std::string_view path,
                                            const SaveOptions& options);
VANTRIL_API Status write_document(Document& document, CountingSink& sink,
                                  const SaveOptions& options);

}  // namespace vantril
