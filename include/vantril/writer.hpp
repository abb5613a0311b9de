// vantril's writer: a Document saved as a complete PDF file, byte for byte the same on every run
// and platform, with a cross-reference stream (XrefForm::XrefStreamForm, the default) or a
// classic table (XrefForm::XrefTableForm).
//
//   save_to_path      creates the file and writes the document; the caller owns the returned,
//                     still open OutputFile, which closes the file when destroyed.
//   write_document    the same bytes into a CountingSink: a std::string in memory, a
//                     BufferedFileWriter, or a callback.
//   SaveOptions       for both: Flate compression (with libdeflate), PNG predictors for 8-bit
//                     images, object streams; the defaults write everything as held.
//   serialize_object  one value in its compact PDF form.
//   StreamWriter      a file written one object at a time, in memory that does not grow with it
//                     (vantril/stream_writer.hpp).
//   ValueWriter       one value described token by token, with no Object built: the
//                     streaming writer's fastest way in (vantril/writer/value_writer.hpp).
// Failures come back as IoError values (see vantril/error.hpp): the operating system's errors,
// FileTooLarge for an offset beyond the 32-bit reach of a cross-reference section, and
// InvalidInput for a stream inside an array or dictionary (a stream must be an indirect object)
// or a value no PDF token carries (a NaN or infinite real, a name or key holding a NUL byte),
// and Unsupported or InvalidInput for save options a build or a form cannot honour.
// A save updates the document's trailer to the one it writes; saving the same document again,
// in either form, writes a correct file.
#pragma once

#include "vantril/error.hpp"
#include "vantril/model.hpp"
#include "vantril/stream_writer.hpp"
#include "vantril/writer/buffered_file_writer.hpp"
#include "vantril/writer/counting_sink.hpp"
#include "vantril/writer/output_file.hpp"
#include "vantril/writer/save.hpp"
#include "vantril/writer/serializer.hpp"
#include "vantril/writer/value_writer.hpp"
