// The body of a compact save: top-level objects first, streams compressed where that pays, then
// the object streams that hold every packable object, compressed on a helper thread meanwhile.
#include <cstdint>
#include <limits>
#include <optional>

#include "runtime/fatal.hpp"
#include "writer/compressed_stream.hpp"
#include "writer/file_assembler.hpp"
#include "writer/flate.hpp"
#include "writer/object_stream.hpp"

namespace vantril {

namespace {

// The document's next number, for an object stream.
std::uint32_t draw_from_document(void* context) {
  return reserve_id(*static_cast<Document*>(context)).number;
}

}  // namespace

Status write_compact_body(Emitter& emitter, Document& document, XrefRecord& record,
                          const SaveOptions& options) {
  std::optional<Compression> compression;
  if (options.compression_level > 0) compression.emplace(make_compression(options));

  std::optional<ObjectStreamPacker> packer;
  std::optional<ObjectId> encrypt;
  if (options.object_streams) {
    // The record's highest number counts stored objects above highest_number too.
    document.highest_number = record.declared_size - 1u;
    if (document.highest_number == std::numeric_limits<std::uint32_t>::max()) {
      fatal_error("no object number is left for an object stream");
    }
    set_up_packer(packer.emplace(), PackPlacement::AtEnd, options, nullptr,
                  document.highest_number + 1);
    encrypt = encrypt_reference(document.trailer);
  }

  for (const auto& [id, object] : document.object_table) {
    if (is_left_out(object)) continue;
    const bool packed = packer.has_value() && may_pack(id, object.kind(), encrypt);
    VANTRIL_TRY(write_body_object(emitter, record, id, object, packed ? &*packer : nullptr,
                                  compression.has_value() ? &*compression : nullptr,
                                  draw_from_document, &document));
  }
  if (!packer.has_value()) return {};
  VANTRIL_TRY(finish_packing(*packer, emitter, record, draw_from_document, &document));
  if (!packer->counts.empty()) record.declared_size = document.highest_number + 1u;
  return {};
}

}  // namespace vantril
