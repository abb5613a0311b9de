// Writing a PDF file one indirect object at a time, in memory that does not grow with the file.
//
//   StreamWriter::create     creates the file and writes the header line at once.
//   StreamWriter::over_sink  the same into a CountingSink the caller owns (memory, a callback).
//   reserve_id               hands out the next object number, to name an object before it is
//                            written (a page tree root its pages point to).
//   write_object             writes an object under a reserved number, straight to the output.
//   append_object            reserves a number and writes the object under it.
//   release_id               gives up a reserved number that will not be written.
//   trailer                  the trailer's entries ("Root" above all), set before close.
//   close                    writes the cross-reference section and the tail, flushes and closes
//                            the file, and reports whether all of it reached the system.
//
// The writer keeps a cross-reference slot (eight bytes) per object number and the trailer,
// nothing of the objects themselves: each is written as soon as it is handed over and belongs
// to the caller again when the call returns. Every byte is the one a Document's save would write
// for the same objects in the same order under the same numbers: write objects in ascending
// numbers and the file equals the document's.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "vantril/detail/export.hpp"
#include "vantril/error.hpp"
#include "vantril/model/object.hpp"
#include "vantril/model/object_id.hpp"
#include "vantril/model/xref_slot.hpp"
#include "vantril/writer/counting_sink.hpp"

namespace vantril {

// Move-only. Errors:
//   - the system's errors from creating, writing and closing the file (see OutputFile), and
//     FileTooLarge for an object or section that would start at or beyond 4 GiB;
//   - InvalidInput for a misuse, with nothing written: a number never handed out, a number
//     written or released already, an object typed "XRef", "ObjStm" or "Linearized" (the writer
//     makes the file's own cross-reference section), a reserved number neither written nor
//     released at close, any call after close;
//   - InvalidInput for a stream inside an array or dictionary, as a Document's save reports it
//     ("object 12 0 holds a stream inside a dictionary; ..."), after the bytes before it;
//   - InvalidInput "the stream writer stopped at an earlier error" for every call after any
//     error: what was written stays, and nothing more is.
// Destroying a writer that is not closed writes out what it still buffers and closes the file,
// which stays on disk without its cross-reference section.
class VANTRIL_API StreamWriter {
 public:
  // Creates or empties the file at `path` and writes "%PDF-<version>\n". The file is written
  // through an 8192-byte buffer; `form` chooses the cross-reference section close writes.
  static Result<StreamWriter> create(std::string_view path, std::string_view version,
                                     XrefForm form = XrefForm::XrefStreamForm);
  // The same into `sink`, which the caller owns and keeps alive until the writer is gone. The
  // offsets count from the sink's count when the writer is made, so start with a fresh sink.
  static Result<StreamWriter> over_sink(CountingSink& sink, std::string_view version,
                                        XrefForm form = XrefForm::XrefStreamForm);

  StreamWriter(StreamWriter&& other) noexcept;
  StreamWriter& operator=(StreamWriter&& other) noexcept;
  StreamWriter(const StreamWriter&) = delete;
  StreamWriter& operator=(const StreamWriter&) = delete;
  ~StreamWriter();

  // The next number, generation 0; writes nothing. Handing out more numbers than 32 bits hold is
  // a broken invariant and ends the process, as for a Document.
  ObjectId reserve_id();
  // Writes the object as "<number> <generation> obj" ... "endobj" under a number reserve_id
  // handed out and not yet written or released, with the given generation.
  Status write_object(ObjectId id, const Object& object);
  // reserve_id, then write_object; the identifier the object was written under.
  Result<ObjectId> append_object(const Object& object);
  // Gives up a reserved number that was not written: the file lists it like a number a
  // Document never stored (a free entry of a table, a gap in a cross-reference stream).
  Status release_id(ObjectId id);

  // The trailer's entries; close adds the ones it computes ("Size", and for a cross-reference
  // stream "Type", "W", "Index", "Length") and drops those of the other form or of another
  // file's layout, as a Document's save does. A stream inside it fails the close (InvalidInput).
  Dictionary& trailer();
  // The highest number handed out so far.
  std::uint32_t highest_number() const;

  // Ends the file: the cross-reference section (its stream takes the number after the highest),
  // "startxref", "%%EOF"; then flushes the buffer and closes the file, reporting the system's
  // error if the last bytes or the close fail. Success means every byte reached the system.
  // Over a sink, close ends with the last append to it.
  Status close();

  // The writer's own state, defined inside the library.
  struct State;

 private:
  explicit StreamWriter(std::unique_ptr<State> state);
  // The error every call returns once the writer has stopped, or nothing while it still writes.
  Status check_usable() const;
  // Keeps the writer from writing anything after `status` if it failed, and passes it on.
  Status stop_on_error(Status status);

  std::unique_ptr<State> state_;
};

}  // namespace vantril
