// A top-level stream under compression: whether it may be compressed, the PNG Up predictor for
// 8-bit images, and its frame with the compressed data and its own dictionary. A document's save
// and the streaming writer both write compressed streams through these, so they write the same
// bytes.
#pragma once

#include "vantril/detail/emitter.hpp"
#include "vantril/error.hpp"
#include "vantril/model/object.hpp"
#include "vantril/model/object_id.hpp"
#include "vantril/writer/save_options.hpp"
#include "writer/flate.hpp"
#include "writer/xref_record.hpp"

namespace vantril {

using detail::Emitter;

// The compressors of a save with a compression level above 0: one at the level, one at level 1
// for the samples that decide whether a large stream is worth compressing at all.
struct Compression {
  FlateCompressor compressor;
  FlateCompressor probe;
  bool png_predictor;
};
// Only for options with a compression level above 0 (and so a build with libdeflate).
Compression make_compression(const SaveOptions& options);

// A top-level stream object: compressed, with its own dictionary ("Length", "Filter" and for an
// image under the predictor "DecodeParms"), when compression makes it smaller and it may be
// compressed: marked compressible, not filtered already, and not one whose "DecodeParms"
// (meaningless without a filter, harmful with one) or external file "F" would misdescribe
// compressed data. Else exactly as held. Fails as write_indirect_object does.
Status write_top_level_stream(Emitter& emitter, ObjectId id, const Object& object,
                              Compression& compression, XrefRecord& record);

}  // namespace vantril
