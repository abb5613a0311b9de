// Writing a PDF file one indirect object at a time, in memory that does not grow with the file.
//
//   StreamWriter::create     creates the file and writes the header line at once.
//   StreamWriter::over_sink  the same into a CountingSink the caller owns (memory, a callback).
//                            Both take SaveOptions too: compression and object streams.
//   reserve_id               hands out the next object number, to name an object before it is
//                            written (a page tree root its pages point to).
//   write_object             writes an object under a reserved number, straight to the output.
//   append_object            reserves a number and writes the object under it.
//   begin_object, object_value, end_object
//                            the same as write_object for a value described token by token
//                            through a ValueWriter instead of built as an Object: the fastest
//                            way to write many small objects.
//   release_id               gives up a reserved number that will not be written.
//   trailer                  the trailer's entries ("Root" above all), set before close.
//   close                    writes the cross-reference section and the tail, flushes and closes
//                            the file, and reports whether all of it reached the system.
//
// The writer keeps a cross-reference slot (four bytes for most numbers) per object number and
// the trailer, nothing of the objects themselves: each is written as soon as it is handed over
// and belongs to the caller again when the call returns. Every byte is the one a Document's save
// would write for the same objects in the same order under the same numbers: write objects in
// ascending numbers and the file equals the document's.
//
// With SaveOptions, the writer compresses and packs as a Document's save with the same options
// does, by the same rules and into the same bytes object by object:
//   - compression_level above 0: each top-level stream is Flate-compressed when the save would
//     compress it (marked compressible, no "Filter", "DecodeParms" or "F", and smaller after
//     compression), with the PNG Up predictor for 8-bit images when png_predictor_for_images
//     asks; the cross-reference stream is compressed too.
//   - object_streams: each object the save would pack (not a stream, generation 0, not a null,
//     not the object the trailer's "Encrypt" refers to when it is written) is serialized at once
//     into the one object stream being filled, and listed in it. The first object packed into an
//     object stream takes the next number for it, as reserve_id would (the caller's later
//     numbers continue after it, and highest_number counts it); the object stream is written,
//     compressed with a compression level, as soon as it holds objects_per_stream objects, and
//     close writes the last one however few it holds. Only that one object stream's bytes are
//     held, never more.
// The layout differs from a Document's save in one way only: a save puts its object streams
// after every other object and numbers them after the highest number, where the writer puts
// each where it fills and numbers it when it starts. Reserve every number before writing and
// write in ascending numbers, and the object streams get the save's numbers and contents.
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
#include "vantril/writer/save_options.hpp"
#include "vantril/writer/value_writer.hpp"

namespace vantril {

namespace detail {
// Not for users: what a streaming writer keeps between calls (stream_writer.cpp).
struct StreamWriterState;
}  // namespace detail

// Move-only. Errors:
//   - the system's errors from creating, writing and closing the file (see OutputFile), and
//     FileTooLarge for an object or section that would start at or beyond 4 GiB;
//   - InvalidInput for a misuse, with nothing written: a number never handed out, a number
//     written or released already, an object typed "XRef", "ObjStm" or "Linearized" (the writer
//     makes the file's own cross-reference section), any call after close;
//   - InvalidInput at close, with nothing more written: reserved numbers neither written nor
//     released ("object numbers 5, 7 and 9 were reserved but never written or released", at
//     most ten listed); a trailer without a "Root" reference; references, in any object written
//     (whole or token by token) or in the trailer, to numbers released or never handed out
//     ("the file would refer to objects it does not hold: object number 2 was released and
//     never written"). The numbers referred to are kept one bit each; generations are not
//     compared;
//   - InvalidInput for a stream inside an array or dictionary, as a Document's save reports it
//     ("object 12 0 holds a stream inside a dictionary; ..."), after the bytes before it;
//   - InvalidInput for a value no PDF token carries, a NaN or infinite real or a name or
//     dictionary key holding a NUL byte, as a Document's save reports it ("object 7 0 holds the
//     real NaN, which PDF cannot write"; "the trailer holds ..." at close): write_object writes
//     nothing of the object, close nothing of the section; a value described token by token
//     has nothing written past the refused call (nothing at all when packed);
//   - InvalidInput "the stream writer stopped at an earlier error" for every call after any
//     error: what was written stays, and nothing more is.
//   - With object streams: a stream nested in a packed object fails write_object with the same
//     InvalidInput as at top level, naming the object, with nothing written; a number the writer
//     took for its object stream is refused like one written already; and close fails with
//     InvalidInput, writing nothing, when the trailer's "Encrypt" refers to an object already
//     packed (a reader must find the encryption dictionary outside every object stream): set
//     "Encrypt" before writing the object it names.
// Destroying a writer that is not closed writes out what it still buffers and closes the file,
// which stays on disk without its cross-reference section; the object stream being filled, if
// any, is dropped.
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
  // The same two with options (see SaveOptions and the notes above). The options are checked
  // first, as a save checks them (check_save_options): Unsupported when compression is asked of
  // a build without libdeflate; InvalidInput for a level or objects_per_stream out of range, or
  // object streams with the table form. On such an error nothing is created or written.
  static Result<StreamWriter> create(std::string_view path, std::string_view version, XrefForm form,
                                     const SaveOptions& options);
  static Result<StreamWriter> over_sink(CountingSink& sink, std::string_view version, XrefForm form,
                                        const SaveOptions& options);

  StreamWriter(StreamWriter&& other) noexcept;
  StreamWriter& operator=(StreamWriter&& other) noexcept;
  StreamWriter(const StreamWriter&) = delete;
  StreamWriter& operator=(const StreamWriter&) = delete;
  ~StreamWriter();

  // The next number, generation 0; writes nothing. Handing out more numbers than 32 bits hold is
  // a broken invariant and ends the process, as for a Document.
  ObjectId reserve_id();
  // Writes the object as "<number> <generation> obj" ... "endobj" under a number reserve_id
  // handed out and not yet written or released, with the given generation; with object streams
  // a packable object goes into the object stream being filled instead (see above).
  Status write_object(ObjectId id, const Object& object);
  // An object described token by token instead of built as an Object, for the fastest writing
  // of many small objects: begin_object takes a number as write_object does, object_value() is
  // the ValueWriter its one value is described with, and end_object ends it. The bytes are
  // write_object's for the same value, object streams and all (a packed object's value is held
  // until end_object decides where it goes). A stream cannot be described this way; write it
  // with write_object. Between begin_object and end_object only reserve_id, trailer,
  // highest_number and object_value may be called; anything else is refused and stops the
  // writer. end_object fails, stopping the writer, with the value writer's error, with
  // InvalidInput when the value is not complete, or when it describes a file's layout (a
  // dictionary whose "Type" is XRef, ObjStm or Linearized, or with a "Linearized" key), after
  // what was written already.
  Status begin_object(ObjectId id);
  ValueWriter& object_value();
  Status end_object();
  // reserve_id, then write_object; the identifier the object was written under.
  Result<ObjectId> append_object(const Object& object);
  // Gives up a reserved number that was not written: the file lists it like a number a
  // Document never stored (a free entry of a table, a gap in a cross-reference stream).
  Status release_id(ObjectId id);

  // The trailer's entries; close adds the ones it computes ("Size", and for a cross-reference
  // stream "Type", "W", "Index", "Length") and drops those of the other form or of another
  // file's layout, as a Document's save does. A stream inside it fails the close (InvalidInput).
  Dictionary& trailer();
  // The highest number handed out so far, the writer's own for object streams included.
  std::uint32_t highest_number() const;

  // Ends the file: the object stream being filled, if any, the cross-reference section (its
  // stream takes the number after the highest; compressed with a compression level),
  // "startxref", "%%EOF"; then flushes the buffer and closes the file, reporting the system's
  // error if the last bytes or the close fail. Success means every byte reached the system.
  // Over a sink, close ends with the last append to it.
  Status close();

  // The writer's own state, defined inside the library.

 private:
  explicit StreamWriter(std::unique_ptr<detail::StreamWriterState> state);
  // The error every call returns once the writer has stopped, or nothing while it still writes;
  // a call while an object is begun stops it.
  Status check_usable();
  // Keeps the writer from writing anything after `status` if it failed, and passes it on.
  Status stop_on_error(Status status);
  // begin_object's and end_object's every case, out of line from their common ones.
  Status begin_object_in_full(ObjectId id);
  Status end_object_in_full();

  std::unique_ptr<detail::StreamWriterState> state_;
};

}  // namespace vantril
