// A top-level stream under compression: whether it may be compressed, the PNG Up predictor for
// 8-bit images, and its frame with the compressed data and its own dictionary. A document's save
// and the streaming writer both write compressed streams through these, so they write the same
// bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "vantril/error.hpp"
#include "vantril/model/object.hpp"
#include "vantril/model/object_id.hpp"
#include "vantril/writer/counting_sink.hpp"
#include "vantril/writer/save_options.hpp"
#include "writer/flate.hpp"
#include "writer/xref_record.hpp"

namespace vantril {

// The Up predictor for an 8-bit image stream: the bytes of one row and the colours per sample,
// or nothing when the dictionary does not describe whole rows of `data_size` bytes.
struct ImageRows {
  std::size_t row_bytes;
  std::int64_t colors;
  std::int64_t columns;
};
std::optional<ImageRows> image_rows(const Dictionary& dictionary, std::size_t data_size);

// A stream a save may compress: marked compressible, not filtered already, and not one whose
// "DecodeParms" (meaningless without a filter, harmful with one) or external file "F" would
// misdescribe compressed data.
bool may_compress(const Stream& stream);

// The compressors of a save with a compression level above 0: one at the level, one at level 1
// for the samples that decide whether a large stream is worth compressing at all.
struct Compression {
  FlateCompressor compressor;
  FlateCompressor probe;
  bool png_predictor;
};
// Only for options with a compression level above 0 (and so a build with libdeflate).
Compression make_compression(const SaveOptions& options);

// The indirect-object frame of a stream whose dictionary and data are held apart (a compressed
// stream's own dictionary, an object stream): the same bytes serialize_indirect_object writes for
// a Stream object made of the two. Records an InUse slot; fails with FileTooLarge before writing
// anything when the object would start at or beyond 4 GiB, with InvalidInput before writing
// anything for a value no token carries (naming the object), or with the sink's error.
Status write_stream_object(CountingSink& sink, std::uint32_t number, std::uint16_t generation,
                           const Dictionary& dictionary, std::string_view data, XrefRecord& record);

// A top-level stream object: compressed, with its own dictionary ("Length", "Filter" and for an
// image under the predictor "DecodeParms"), when may_compress allows it and compression makes it
// smaller; else exactly as held. Fails as serialize_indirect_object does.
Status write_top_level_stream(CountingSink& sink, ObjectId id, const Object& object,
                              Compression& compression, XrefRecord& record);

}  // namespace vantril
