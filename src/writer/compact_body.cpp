// The body of a compact save: top-level objects first, streams compressed where that pays, then
// the object streams that hold every packable object, compressed on a helper thread meanwhile.
#include "writer/compact_body.hpp"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "runtime/fatal.hpp"
#include "writer/compressed_stream.hpp"
#include "writer/file_assembler.hpp"
#include "writer/flate.hpp"
#include "writer/object_stream.hpp"

namespace vantril {

namespace {

// The objects of one object stream, by number, in the order they are packed.
using Batch = std::vector<std::pair<std::uint32_t, const Object*>>;

// An object stream's content (see add_to_object_stream). Reads the objects only, so it may run
// on any thread while the body is written. An object holding a nested stream gives its error
// instead.
FlateInput object_stream_content(const Batch& batch) {
  ObjectStreamContent content;
  for (const auto& [number, object] : batch) {
    Status added = add_to_object_stream(content, number, *object);
    if (!added.ok()) return FlateInput{{}, 0, std::move(added).error()};
  }
  return take_object_stream_content(content);
}

// The object streams after the body, under the numbers from `first_container` on, their counts
// and contents in order; then the cross-reference stream's number is the next one.
Status write_object_streams(Emitter& emitter, Document& document, XrefRecord& record,
                            std::uint32_t first_container, const std::vector<std::uint32_t>& counts,
                            std::vector<FlateQueue::Output>& contents) {
  // The first object that could not be packed, in the order of the table, fails the save.
  for (FlateQueue::Output& content : contents) {
    if (content.error.has_value()) return std::move(*content.error);
  }
  for (std::size_t k = 0; k < counts.size(); ++k) {
    const std::uint32_t number = reserve_id(document).number;
    if (number != first_container + k) fatal_error("an object stream did not get its number");
    VANTRIL_TRY(write_object_stream(emitter, number, counts[k], contents[k].note,
                                    contents[k].compressed, contents[k].data.view(), record));
  }
  record.declared_size = document.highest_number + 1u;
  return {};
}

}  // namespace

Status write_compact_body(Emitter& emitter, Document& document, XrefRecord& record,
                          const SaveOptions& options) {
  const bool compress = options.compression_level > 0;
  std::optional<Compression> compression;
  if (compress) {
    compression.emplace(make_compression(options));
  }

  // Object streams take the numbers above every number in use, stored objects included.
  std::uint32_t first_container = 0;
  std::optional<ObjectId> encrypt;
  std::optional<FlateQueue> queue;
  if (options.object_streams) {
    // The record's highest number counts stored objects above highest_number too.
    document.highest_number = record.declared_size - 1u;
    if (document.highest_number == std::numeric_limits<std::uint32_t>::max()) {
      fatal_error("no object number is left for an object stream");
    }
    first_container = document.highest_number + 1;
    encrypt = encrypt_reference(document.trailer);
  }

  // Object streams are made (and compressed) on the queue's threads; without compression, here.
  // The helper thread starts with the first full object stream: a document whose objects fill
  // only the last one (a few objects beside large streams) starts no thread at all.
  Batch batch;
  std::vector<std::uint32_t> counts;
  std::vector<FlateQueue::Output> contents;
  const auto close = [&](bool last) {
    counts.push_back(static_cast<std::uint32_t>(batch.size()));
    if (compress && !queue.has_value()) queue.emplace(options.compression_level, !last);
    if (queue.has_value()) {
      queue->submit([objects = std::move(batch)] { return object_stream_content(objects); });
    } else {
      FlateInput content = object_stream_content(batch);
      contents.push_back({std::move(content.data), false, content.note, std::move(content.error)});
    }
    batch = Batch();
    batch.reserve(options.objects_per_stream);
  };
  batch.reserve(options.object_streams ? options.objects_per_stream : 0);

  for (const auto& [id, object] : document.object_table) {
    if (is_left_out(object)) continue;
    const bool is_stream = object.kind() == ObjectKind::Stream;
    if (options.object_streams && may_pack(id, object.kind(), encrypt)) {
      const std::uint64_t container = std::uint64_t{first_container} + counts.size();
      if (container > std::numeric_limits<std::uint32_t>::max()) {
        fatal_error("no object number is left for an object stream");
      }
      record_slot(record, id.number,
                  XrefSlot{XrefSlotKind::InObjectStream, static_cast<std::uint16_t>(batch.size()),
                           static_cast<std::uint32_t>(container)});
      batch.emplace_back(id.number, &object);
      if (batch.size() == options.objects_per_stream) close(false);
    } else if (is_stream && compression.has_value()) {
      VANTRIL_TRY(write_top_level_stream(emitter, id, object, *compression, record));
    } else {
      VANTRIL_TRY(write_indirect_object(emitter, id.number, id.generation, object, record));
    }
  }
  if (!batch.empty()) close(true);
  if (counts.empty()) return {};

  if (queue.has_value()) contents = queue->finish();
  return write_object_streams(emitter, document, record, first_container, counts, contents);
}

}  // namespace vantril
