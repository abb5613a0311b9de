// The serializer's own rules: the spacing around values and the framing of an indirect object.
#pragma once

#include <cstdint>
#include <string_view>

#include "vantril/error.hpp"
#include "vantril/model/object.hpp"
#include "vantril/writer/counting_sink.hpp"
#include "vantril/writer/serializer.hpp"
#include "writer/writable_value.hpp"
#include "writer/xref_record.hpp"

namespace vantril {

// The kinds written with one space before them as a non-first array element, a dictionary value
// or the object of an indirect object: those whose text starts with a letter, digit or "-".
constexpr bool takes_leading_space(ObjectKind kind) {
  switch (kind) {
    case ObjectKind::Null:
    case ObjectKind::Boolean:
    case ObjectKind::Integer:
    case ObjectKind::Real:
    case ObjectKind::Reference:
      return true;
    default:
      return false;
  }
}

// The kinds followed by one space before the end line of an indirect object.
constexpr bool takes_trailing_space(ObjectKind kind) {
  return takes_leading_space(kind) || kind == ObjectKind::Name || kind == ObjectKind::Stream;
}

// The keywords around a stream's data.
inline constexpr char stream_keyword[] = "stream\n";
inline constexpr char endstream_keyword[] = "\nendstream";

// Whose values an indirect object carries, named when a stream turns up nested in them: the
// object's own, or the trailer's (a cross-reference stream's dictionary is the trailer's).
enum class ValuesOf : std::uint8_t { Object, Trailer };

// Records an InUse slot at the sink's current count under the number, then writes
// "<number> <generation> obj\n", the object and "\nendobj\n" with the spacing its kind asks for.
// An object that would start at or beyond 4 GiB cannot be given a 32-bit offset: the call then
// fails with FileTooLarge before recording or writing anything. A stream anywhere but as the
// object itself fails with InvalidInput, "object 12 0 holds a stream inside a dictionary; a
// stream must be an indirect object" (or "the trailer holds ..."), once the bytes before it are
// written. A value no token carries (see writable_value.hpp) fails with InvalidInput, "object 7 0
// holds the real NaN, which PDF cannot write", with the slot recorded and nothing written.
Status serialize_indirect_object(CountingSink& sink, std::uint32_t number, std::uint16_t generation,
                                 const Object& object, XrefRecord& record,
                                 ValuesOf values_of = ValuesOf::Object);

// serialize_object with refusals naming `holder` instead of "the value".
Status serialize_value(CountingSink& sink, const Object& object, const ValueHolder& holder);

// The trailer dictionary, as serialize_dictionary writes it; a stream or a value no token carries
// inside it fails as above, named as the trailer's, after the bytes before it.
Status serialize_trailer(CountingSink& sink, const Dictionary& trailer);

// The two halves of serialize_indirect_object's frame, for an object whose body its caller writes
// piece by piece (the cross-reference stream, whose entries never sit in memory all at once).
// The opening records the slot and writes "<number> <generation> obj\n" and, for a kind that
// takes one, the leading space; the closing writes the end line that follows an object of `kind`.
Status open_indirect_object(CountingSink& sink, std::uint32_t number, std::uint16_t generation,
                            ObjectKind kind, XrefRecord& record);
Status close_indirect_object(CountingSink& sink, ObjectKind kind);

// Fails with FileTooLarge and the message (fixed text of static lifetime) when `position` cannot
// be stored as a 32-bit cross-reference offset: a truncated offset would corrupt the file
// silently.
Status check_offset_fits(std::uint64_t position, std::string_view fixed_message);

// Objects a save leaves out of the body and the cross-reference section: those typed "XRef",
// "ObjStm" or "Linearized", which describe a source file's layout, not the one being written.
bool is_left_out(const Object& object);

}  // namespace vantril
