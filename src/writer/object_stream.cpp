// Packing objects into object streams, placing them, and writing them.
#include "writer/object_stream.hpp"

#include <algorithm>
#include <limits>
#include <memory>
#include <utility>

#include "runtime/fatal.hpp"
#include "writer/emit_value.hpp"
#include "writer/file_assembler.hpp"
#include "writer/number_text.hpp"

namespace vantril {

std::optional<ObjectId> encrypt_reference(const Dictionary& trailer) {
  const Object* entry = trailer.get("Encrypt");
  if (entry == nullptr || entry->reference() == nullptr) return std::nullopt;
  return *entry->reference();
}

bool may_pack(ObjectId id, ObjectKind kind, std::optional<ObjectId> encrypt) {
  return kind != ObjectKind::Stream && kind != ObjectKind::Null && id.generation == 0 &&
         id != encrypt;
}

namespace {

// The separator and the object's "number offset" pair, before its bytes are appended: one
// space after the previous object keeps adjacent numbers or keywords apart.
void start_entry(ObjectStreamContent& content, std::uint32_t number) {
  if (!content.objects.empty()) content.objects.push_back(' ');
  append_unsigned(content.pairs, number);
  content.pairs.push_back(' ');
  append_unsigned(content.pairs, content.objects.size());
  content.pairs.push_back(' ');
}

// Appends the object under its number. A stream nested in it fails with the InvalidInput error
// that names it as at top level, and the content is left as it was.
Status add_to_object_stream(ObjectStreamContent& content, std::uint32_t number,
                            const Object& object) {
  const std::size_t pairs_before = content.pairs.size();
  const std::size_t objects_before = content.objects.size();
  start_entry(content, number);
  Status written;
  {
    // Memory takes every byte: only a value the object cannot carry fails, named as the object's
    // at top level would be. The emitter hands its bytes to the string when it goes.
    CountingSink sink(content.objects);
    Emitter emitter(sink);
    written = emit_value(emitter, object, Slot::Alone, ValueHolder::object(ObjectId{number, 0}));
  }
  if (!written.ok()) {
    content.pairs.resize(pairs_before);
    content.objects.resize(objects_before);
    return written;
  }
  ++content.count;
  return {};
}

// The content as one buffer, the pairs first, with the length of the pairs (the stream's
// "First") as the note; empties `content`, which keeps its capacity for the next object stream.
FlateInput take_object_stream_content(ObjectStreamContent& content) {
  const std::size_t size = content.pairs.size() + content.objects.size();
  ByteBuffer data{std::unique_ptr<char[]>(new char[size]), size};
  std::copy(content.pairs.begin(), content.pairs.end(), data.bytes.get());
  std::copy(content.objects.begin(), content.objects.end(),
            data.bytes.get() + content.pairs.size());
  const std::size_t first = content.pairs.size();
  content.pairs.clear();
  content.objects.clear();
  content.count = 0;
  return FlateInput{std::move(data), first, std::nullopt};
}

// The object stream under `number`: "/Type/ObjStm", "/N", "/First", "/Length" and, when
// `compressed`, "/Filter/FlateDecode", then `data`.
Status write_object_stream(Emitter& emitter, std::uint32_t number, std::uint32_t count,
                           std::size_t first, bool compressed, std::string_view data,
                           XrefRecord& record) {
  Dictionary dictionary = Dictionary::from_pairs({
      {"Type", Name("ObjStm")},
      {"N", static_cast<std::int64_t>(count)},
      {"First", static_cast<std::int64_t>(first)},
      {"Length", static_cast<std::int64_t>(data.size())},
  });
  if (compressed) dictionary.set("Filter", Name("FlateDecode"));
  return write_stream_object(emitter, number, 0, dictionary, data, record,
                             ValueHolder::object(ObjectId{number, 0}));
}

using Batch = decltype(ObjectStreamPacker::batch);

// An object stream's content (see add_to_object_stream). Reads the objects only, so it may run
// on any thread while the body is written. An object that cannot be packed gives its error
// instead.
FlateInput batch_content(const Batch& batch) {
  ObjectStreamContent content;
  for (const auto& [number, object] : batch) {
    Status added = add_to_object_stream(content, number, *object);
    if (!added.ok()) return FlateInput{{}, 0, std::move(added).error()};
  }
  return take_object_stream_content(content);
}

// At the end: the batch closed, its content made on the queue's threads, or here without
// compression. The helper thread starts with the first full object stream: a document whose
// objects fill only the last one (a few objects beside large streams) starts no thread at all.
void close_batch(ObjectStreamPacker& packer, bool last) {
  packer.counts.push_back(packer.filled);
  packer.filled = 0;
  if (packer.compression_level > 0 && !packer.queue.has_value()) {
    packer.queue.emplace(packer.compression_level, !last);
  }
  if (packer.queue.has_value()) {
    packer.queue->submit([objects = std::move(packer.batch)] { return batch_content(objects); });
  } else {
    FlateInput content = batch_content(packer.batch);
    packer.made.push_back({std::move(content.data), false, content.note, std::move(content.error)});
  }
  packer.batch = Batch();
  if (!last) packer.batch.reserve(packer.per_stream);
}

// Where filled: the object stream being filled, compressed when that makes it smaller.
Status write_filled(ObjectStreamPacker& packer, Emitter& emitter, XrefRecord& record) {
  const std::uint32_t count = packer.content.count;
  FlateInput content = take_object_stream_content(packer.content);
  ByteBuffer packed;
  if (packer.compression != nullptr) {
    packed = deflate_if_smaller(packer.compression->compressor, content.data.view());
  }
  const ByteBuffer& data = packed.bytes ? packed : content.data;
  const std::uint32_t number = packer.container;
  packer.container = 0;
  packer.filled = 0;
  return write_object_stream(emitter, number, count, content.note, packed.bytes != nullptr,
                             data.view(), record);
}

// Adds the object through add() at the next place of the object stream being filled, records
// its slot, and closes or writes the object stream once it is full.
template <class Add>
Status pack(ObjectStreamPacker& packer, Emitter& emitter, XrefRecord& record, std::uint32_t number,
            DrawNumber draw, void* context, Add add) {
  const bool at_end = packer.placement == PackPlacement::AtEnd;
  if (!at_end && packer.container == 0) packer.container = draw(context);
  const std::uint64_t container =
      at_end ? std::uint64_t{packer.first_container} + packer.counts.size() : packer.container;
  if (container > std::numeric_limits<std::uint32_t>::max()) {
    fatal_error("no object number is left for an object stream");
  }
  const std::uint32_t place = packer.filled;
  VANTRIL_TRY(add());
  record.slots.insert_or_assign(
      number, XrefSlot{XrefSlotKind::InObjectStream, static_cast<std::uint16_t>(place),
                       static_cast<std::uint32_t>(container)});
  if (++packer.filled < packer.per_stream) return {};
  if (!at_end) return write_filled(packer, emitter, record);
  close_batch(packer, false);
  return {};
}

}  // namespace

void set_up_packer(ObjectStreamPacker& packer, PackPlacement placement, const SaveOptions& options,
                   Compression* compression, std::uint32_t first_container) {
  packer.placement = placement;
  packer.per_stream = options.objects_per_stream;
  packer.compression_level = options.compression_level;
  packer.compression = compression;
  packer.first_container = first_container;
  if (placement == PackPlacement::AtEnd) packer.batch.reserve(packer.per_stream);
}

Status pack_serialized(ObjectStreamPacker& packer, Emitter& emitter, XrefRecord& record,
                       std::uint32_t number, std::string_view serialized, DrawNumber draw,
                       void* context) {
  if (packer.placement != PackPlacement::WhereFilled) {
    fatal_error("serialized objects are packed only where the object streams fill");
  }
  return pack(packer, emitter, record, number, draw, context, [&]() -> Status {
    start_entry(packer.content, number);
    packer.content.objects.append(serialized);
    ++packer.content.count;
    return {};
  });
}

Status write_body_object(Emitter& emitter, XrefRecord& record, ObjectId id, const Object& object,
                         ObjectStreamPacker* packer, Compression* compression, DrawNumber draw,
                         void* context) {
  if (packer != nullptr) {
    return pack(*packer, emitter, record, id.number, draw, context, [&]() -> Status {
      if (packer->placement == PackPlacement::WhereFilled) {
        return add_to_object_stream(packer->content, id.number, object);
      }
      packer->batch.emplace_back(id.number, &object);
      return {};
    });
  }
  if (object.kind() == ObjectKind::Stream && compression != nullptr) {
    return write_top_level_stream(emitter, id, object, *compression, record);
  }
  return write_indirect_object(emitter, id.number, id.generation, object, record);
}

Status finish_packing(ObjectStreamPacker& packer, Emitter& emitter, XrefRecord& record,
                      DrawNumber draw, void* context) {
  if (packer.placement == PackPlacement::WhereFilled) {
    return packer.container != 0 ? write_filled(packer, emitter, record) : Status();
  }
  if (packer.filled > 0) close_batch(packer, true);
  if (packer.queue.has_value()) packer.made = packer.queue->finish();
  for (FlateQueue::Output& made : packer.made) {
    if (made.error.has_value()) return std::move(*made.error);
  }
  for (std::size_t k = 0; k < packer.counts.size(); ++k) {
    if (draw(context) != packer.first_container + k) {
      fatal_error("an object stream did not get its number");
    }
    const FlateQueue::Output& made = packer.made[k];
    VANTRIL_TRY(write_object_stream(emitter, static_cast<std::uint32_t>(packer.first_container + k),
                                    packer.counts[k], made.note, made.compressed, made.data.view(),
                                    record));
  }
  return {};
}

}  // namespace vantril
