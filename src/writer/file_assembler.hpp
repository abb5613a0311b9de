// The pieces of a PDF file, each written in one place: the header line, an indirect object's
// frame, a stream's frame, the cross-reference section in either form (a whole file's, or an
// appended revision's with "/Prev"), the trailer and the tail. A document's save, the streaming
// writer and an appended revision all assemble their files from these, so they write the same
// bytes. Defined in file_assembler.cpp, apart from the cross-reference stream (xref_stream.cpp).
#pragma once

#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>

#include "vantril/detail/emitter.hpp"
#include "vantril/error.hpp"
#include "vantril/model/document.hpp"
#include "vantril/model/object.hpp"
#include "vantril/writer/counting_sink.hpp"
#include "vantril/writer/save_options.hpp"
#include "vantril/writer/serializer.hpp"
#include "vantril/writer/value_writer.hpp"
#include "writer/emit_value.hpp"
#include "writer/writable_value.hpp"
#include "writer/xref_record.hpp"

namespace vantril {

// "%PDF-", the version text as given, "\n".
Status write_header(Emitter& emitter, std::string_view version);

// Records an InUse slot at the emitter's position under the number, then writes
// "<number> <generation> obj\n", the object and "\nendobj\n" with the spacing its kind asks for.
// An object that would start at or beyond 4 GiB cannot be given a 32-bit offset: the call then
// fails with FileTooLarge before recording or writing anything. A stream anywhere but as the
// object itself fails with InvalidInput, "object 12 0 holds a stream inside a dictionary; a
// stream must be an indirect object", once the bytes before it are written. A value no token
// carries (see writable_value.hpp) fails with InvalidInput, "object 7 0 holds the real NaN, which
// PDF cannot write", with the slot recorded and nothing written.
Status write_indirect_object(Emitter& emitter, std::uint32_t number, std::uint16_t generation,
                             const Object& object, XrefRecord& record);
// The same over a sink of its own.
Status serialize_indirect_object(CountingSink& sink, std::uint32_t number, std::uint16_t generation,
                                 const Object& object, XrefRecord& record);

// The two halves of an indirect object's frame, for an object whose body its caller writes
// itself. The opening records the slot and writes "<number> <generation> obj\n" and, for a kind
// that takes one, the leading space; the closing writes the end line that follows an object of
// `kind`.
Status open_indirect_object(Emitter& emitter, std::uint32_t number, std::uint16_t generation,
                            ObjectKind kind, XrefRecord& record);
Status close_indirect_object(Emitter& emitter, ObjectKind kind);
// The opening alone, when the room holds its line and the object starts below 4 GiB, as nearly
// every one does: true with the slot recorded and the line formed (not yet committed), false with
// nothing done, leaving every other case to open_indirect_object.
bool open_indirect_object_in_room(Emitter& emitter, std::uint32_t number, std::uint16_t generation,
                                  ObjectKind kind, XrefRecord& record);
// The end line close_indirect_object writes: the space before it, where the kind takes one,
// and "\nendobj\n".
inline constexpr char space_and_end_of_object[] = " \nendobj\n";
inline std::string_view end_of_object(ObjectKind kind) {
  const std::size_t skip = takes_trailing_space(kind) ? 0 : 1;
  return std::string_view(space_and_end_of_object + skip, 9 - skip);
}
// close_indirect_object when the room holds the longer end line, copied as nine bytes whatever
// the kind (the shorter one's ninth is past its end, where the cursor does not go): false, with
// nothing written, otherwise.
inline bool close_indirect_object_in_room(Emitter& emitter, ObjectKind kind) {
  char* const out = emitter.cursor();
  if (emitter.room_end() - out < 9) return false;
  const std::size_t skip = takes_trailing_space(kind) ? 0 : 1;
  std::memcpy(out, space_and_end_of_object + skip, 9);
  emitter.advance(out + 9 - skip);
  return true;
}

// The indirect object of a stream whose dictionary and data are held apart (a compressed
// stream's own dictionary, an object stream, a compressed cross-reference stream): the bytes
// write_indirect_object writes for a Stream made of the two. Fails as that does, naming the
// holder (the trailer's, for a cross-reference stream); a dictionary no token carries has none of
// its bytes written.
Status write_stream_object(Emitter& emitter, std::uint32_t number, std::uint16_t generation,
                           const Dictionary& dictionary, std::string_view data, XrefRecord& record,
                           const ValueHolder& holder);

// What follows the body: where the section lists from, and what it points back to.
// The section's form is the record's.
struct SectionPlan {
  // A whole file's section lists every number from 0 (the table as one subsection with the free
  // list, the stream from 1 after object 0 when the record says so); an appended revision's
  // lists only the numbers it records, from `first` on, and points back at the section before
  // with "/Prev".
  std::optional<std::uint64_t> prev;
  std::uint32_t first = 1;
  // Above 0 (with libdeflate) a whole file's cross-reference stream is compressed.
  int compression_level = 0;
};

// Everything after the body: the cross-reference section starting at the emitter's position, its
// trailer, then the tail. The highest number listed is the record's declared_size - 1. The table
// form removes from the trailer the keys only a stream's dictionary or another file's layout
// holds, sets "Size" (and "Prev" for a revision) and writes it after "trailer\n"; the stream form
// takes the number declared_size for itself, leaves `highest_number` at it, and sets the trailer
// entries write_xref_stream names. Fails with the sink's first error, FileTooLarge when the
// section would start beyond a 32-bit offset, or InvalidInput for a value the trailer cannot
// carry (checked before the section's first byte).
Status write_file_end(Emitter& emitter, Dictionary& trailer, std::uint32_t& highest_number,
                      XrefRecord& record, const SectionPlan& plan);

// The cross-reference stream at `xref_position` (the emitter's position, checked by
// write_file_end) under the number declared_size, which `highest_number` is left at. Its
// dictionary is the trailer with the stream's own entries set ("Prev" as the plan says) and any
// "Filter", "DecodeParms" and "XRefStm" removed, changes that stay even when the write fails.
// Lists the recorded numbers from the plan's first to its own, after object 0 for a whole file
// whose record's stream_lists_object_zero says so. Uncompressed, the entries (fields 1, 4 and 2
// bytes wide) go to the sink a few thousand at a time, never all in memory; compressed, the
// fields are as narrow as the largest entry allows and the rows go through the PNG Up predictor,
// with "Filter" and "DecodeParms" in the written dictionary only.
Status write_xref_stream(Emitter& emitter, Dictionary& trailer, std::uint32_t& highest_number,
                         XrefRecord& record, std::uint64_t xref_position, const SectionPlan& plan);

// write_document with the options, also handing back where the cross-reference section starts
// (the number after "startxref").
Result<std::uint64_t> write_document_layout(Document& document, CountingSink& sink,
                                            const SaveOptions& options);

// The body of a save with options (compact_body.cpp; the plain body stays in save.cpp): every
// object of the table the options leave at top level, in identifier order, streams compressed
// where that pays, then the object streams holding the others, numbered from one above the
// record's highest number (a stored object above highest_number counts); highest_number and the
// record's declared size are left past them, for the cross-reference stream. Records every slot.
// Fails with the sink's first error, FileTooLarge, or the InvalidInput of a stream nested in an
// object. The options are valid (check_save_options).
Status write_compact_body(Emitter& emitter, Document& document, XrefRecord& record,
                          const SaveOptions& options);

// The types of the objects that describe a file's layout: cross-reference streams, object
// streams and the linearization dictionary (ValueWriter's inline calls test them too).
using detail::is_layout_type;

// Objects a save leaves out of the body and the cross-reference section: those typed "XRef",
// "ObjStm" or "Linearized", which describe a source file's layout, not the one being written.
bool is_left_out(const Object& object);

}  // namespace vantril
