// An object stream (/Type/ObjStm): its content built one object at a time, and the stream object
// that carries it. A document's save and the streaming writer both pack objects through these,
// so the same objects in the same order give the same object stream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "vantril/detail/emitter.hpp"
#include "vantril/error.hpp"
#include "vantril/model/object.hpp"
#include "vantril/model/object_id.hpp"
#include "writer/flate.hpp"
#include "writer/xref_record.hpp"

namespace vantril {

using detail::Emitter;

// The object the trailer's "Encrypt" refers to, if it refers to one.
std::optional<ObjectId> encrypt_reference(const Dictionary& trailer);

// Whether an object of `kind` may go into an object stream under `id`: not a stream, generation
// 0, not the encryption dictionary `encrypt` (a reader needs it before it can read any object
// stream), and not a null, which mupdf takes for an object missing from the object stream and
// which packs into nothing worth having.
bool may_pack(ObjectId id, ObjectKind kind, std::optional<ObjectId> encrypt);

// The content of one object stream being filled: the "number offset" pairs and the serialized
// objects, kept apart until the content is taken. Only bytes: the objects themselves are not
// kept.
struct ObjectStreamContent {
  std::string pairs;
  std::string objects;
  std::uint32_t count = 0;
};

// Appends the object under its number: one space after the previous object (so that adjacent
// numbers or keywords stay apart), its pair, its serialization. A stream nested in the object
// fails with the InvalidInput error that names it as at top level ("object 12 0 holds a stream
// inside a dictionary; ..."), and the content is left as it was.
Status add_to_object_stream(ObjectStreamContent& content, std::uint32_t number,
                            const Object& object);

// The same for an object already serialized, as serialize_object writes it.
void add_serialized_to_object_stream(ObjectStreamContent& content, std::uint32_t number,
                                     std::string_view serialized);

// The content as one buffer, the pairs first, with the length of the pairs (the stream's
// "First") as the note; empties `content`, which keeps its capacity for the next object stream.
FlateInput take_object_stream_content(ObjectStreamContent& content);

// The object stream under `number`: "/Type/ObjStm", "/N" (the objects in it), "/First", "/Length"
// and, when `compressed`, "/Filter/FlateDecode", then `data`. Records its InUse slot; fails as
// write_stream_object does.
Status write_object_stream(Emitter& emitter, std::uint32_t number, std::uint32_t count,
                           std::size_t first, bool compressed, std::string_view data,
                           XrefRecord& record);

}  // namespace vantril
