// Object streams (/Type/ObjStm): which objects they take, their content built one object at a
// time, where they go in the file, and the stream object that carries each. A document's save and
// the streaming writer both pack objects through the one packer, so the same objects in the same
// order give the same object streams; only where they are placed differs, by a parameter.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "vantril/detail/emitter.hpp"
#include "vantril/error.hpp"
#include "vantril/model/object.hpp"
#include "vantril/model/object_id.hpp"
#include "vantril/writer/save_options.hpp"
#include "writer/compressed_stream.hpp"
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

// Where a file's object streams go.
enum class PackPlacement : std::uint8_t {
  // After every other object, under the numbers above all of theirs: a document's save, which
  // holds every object, so that their contents are made (and compressed) on helper threads
  // while the body is written.
  AtEnd,
  // Each where it fills, under the number drawn when its first object comes: the streaming
  // writer, which keeps no object once it is written.
  WhereFilled,
};

// Draws the next object number, for an object stream.
using DrawNumber = std::uint32_t (*)(void* context);

// The object streams of one file being written. Set up by set_up_packer; its fields are the
// packer's own.
struct ObjectStreamPacker {
  PackPlacement placement = PackPlacement::WhereFilled;
  std::size_t per_stream = 1;
  int compression_level = 0;
  // Where filled, with compression: the compressors the caller keeps.
  Compression* compression = nullptr;
  // The object stream being filled: how many objects it holds, and where filled its number (0
  // while none is filled) and its bytes; at the end, its objects, whose content is made later.
  std::uint32_t filled = 0;
  std::uint32_t container = 0;
  ObjectStreamContent content;
  std::vector<std::pair<std::uint32_t, const Object*>> batch;
  // At the end: the number of the first object stream, and those closed so far in order.
  std::uint32_t first_container = 0;
  std::vector<std::uint32_t> counts;
  std::optional<FlateQueue> queue;
  std::vector<FlateQueue::Output> made;
};

// Sets the packer up for objects_per_stream objects a stream, compressed at the options' level
// (where filled, by `compression`); at the end, the object streams take the numbers from
// `first_container` on.
void set_up_packer(ObjectStreamPacker& packer, PackPlacement placement, const SaveOptions& options,
                   Compression* compression, std::uint32_t first_container);

// Packs the object already serialized (as serialize_object writes it) under `number` into the
// object stream being filled and records its slot, as write_body_object packs an object; where
// filled only.
Status pack_serialized(ObjectStreamPacker& packer, Emitter& emitter, XrefRecord& record,
                       std::uint32_t number, std::string_view serialized, DrawNumber draw,
                       void* context);

// One object of a file's body: packed through `packer` when one is given (the caller has asked
// may_pack), a stream compressed where `compression` (when given) and its data allow it, any
// other object as it is. Where filled, a packed object's object stream takes draw(context) with
// its first object and is written once full; at the end, the object is read when its content is
// made and must stay unchanged until finish_packing. Fails as the write of the object or its
// object stream does, with nothing recorded for a refused object.
Status write_body_object(Emitter& emitter, XrefRecord& record, ObjectId id, const Object& object,
                         ObjectStreamPacker* packer, Compression* compression, DrawNumber draw,
                         void* context);

// Writes what is left: where filled, the object stream being filled; at the end, every object
// stream, under the numbers draw(context) gives, which must run from first_container on (a
// broken invariant otherwise). At the end, the first object that could not be packed, in the
// order packed, fails instead with its error, before anything is written.
Status finish_packing(ObjectStreamPacker& packer, Emitter& emitter, XrefRecord& record,
                      DrawNumber draw, void* context);

}  // namespace vantril
