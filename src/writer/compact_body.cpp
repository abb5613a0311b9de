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
#include "vantril/writer/serializer.hpp"
#include "writer/flate.hpp"
#include "writer/indirect_object.hpp"
#include "writer/number_text.hpp"
#include "writer/png_predictor.hpp"

namespace vantril {

namespace {

bool is_name(const Object* object, std::string_view text) {
  return object != nullptr && object->name() != nullptr && object->name()->bytes == text;
}

// Image sizes beyond 2^24 samples a side are no image a predictor is worth trying on, and the
// bound keeps every product below in range.
std::optional<std::int64_t> dimension(const Object* object) {
  if (object == nullptr || object->integer() == nullptr) return std::nullopt;
  const std::int64_t value = *object->integer();
  if (value < 1 || value > (std::int64_t{1} << 24)) return std::nullopt;
  return value;
}

// A stream the save may compress: marked compressible, not filtered already, and not one whose
// "DecodeParms" (meaningless without a filter, harmful with one) or external file "F" would
// misdescribe compressed data.
bool may_compress(const Stream& stream) {
  const Dictionary& dictionary = stream.stream_dictionary;
  return stream.compressible && !stream.data.empty() && dictionary.get("Filter") == nullptr &&
         dictionary.get("DecodeParms") == nullptr && dictionary.get("F") == nullptr;
}

// The decimal text of `value`, formed in `digits`.
std::string_view decimal(char (&digits)[20], std::uint64_t value) {
  const char* end = put_unsigned(digits, value);
  return {digits, static_cast<std::size_t>(end - digits)};
}

constexpr std::string_view far_offset =
    "an object would start at or beyond 4 GiB, out of reach of a 32-bit offset";

// The indirect-object frame of a stream whose dictionary and data are held apart (a compressed
// stream's own dictionary, an object stream): the same bytes serialize_indirect_object writes for
// a Stream object made of the two.
Status write_stream_object(CountingSink& sink, std::uint32_t number, std::uint16_t generation,
                           const Dictionary& dictionary, std::string_view data,
                           XrefRecord& record) {
  VANTRIL_TRY(check_offset_fits(sink.count, far_offset));
  record_slot(record, number,
              XrefSlot{XrefSlotKind::InUse, generation, static_cast<std::uint32_t>(sink.count)});
  char digits[20];
  VANTRIL_TRY(sink.write_all(decimal(digits, number)));
  VANTRIL_TRY(sink.write_text(" "));
  VANTRIL_TRY(sink.write_all(decimal(digits, generation)));
  VANTRIL_TRY(sink.write_text(" obj\n"));
  VANTRIL_TRY(serialize_dictionary(sink, dictionary));
  VANTRIL_TRY(sink.write_text("stream\n"));
  VANTRIL_TRY(sink.write_all(data));
  return sink.write_text("\nendstream \nendobj\n");
}

struct Compression {
  FlateCompressor compressor;
  // Level 1, for the samples that decide whether a large stream is worth compressing at all.
  FlateCompressor probe;
  bool png_predictor;
};

// A top-level stream: compressed with its own dictionary when that makes it smaller, else as held.
Status write_stream(CountingSink& sink, ObjectId id, const Object& object, Compression& compression,
                    XrefRecord& record) {
  const Stream& stream = *object.stream();
  if (!may_compress(stream)) {
    return serialize_indirect_object(sink, id.number, id.generation, object, record);
  }
  std::optional<ImageRows> rows;
  if (compression.png_predictor) rows = image_rows(stream.stream_dictionary, stream.data.size());
  ByteBuffer predicted;
  std::string_view input = stream.data;
  if (rows.has_value()) {
    predicted = png_up_rows(input, rows->row_bytes);
    input = predicted.view();
  }
  ByteBuffer packed;
  if (worth_compressing(compression.probe, input)) {
    packed = deflate_if_smaller(compression.compressor, input);
  }
  if (!packed.bytes)
    return serialize_indirect_object(sink, id.number, id.generation, object, record);

  Dictionary dictionary = clone(stream.stream_dictionary);
  dictionary.set("Length", static_cast<std::int64_t>(packed.size));
  dictionary.set("Filter", Name("FlateDecode"));
  if (rows.has_value()) {
    dictionary.set("DecodeParms", Dictionary::from_pairs({
                                      {"Predictor", 12},
                                      {"Colors", rows->colors},
                                      {"BitsPerComponent", 8},
                                      {"Columns", rows->columns},
                                  }));
  }
  return write_stream_object(sink, id.number, id.generation, dictionary, packed.view(), record);
}

// The objects of one object stream, by number, in the order they are packed.
using Batch = std::vector<std::pair<std::uint32_t, const Object*>>;

void append_decimal(std::string& text, std::uint64_t value) {
  char digits[20];
  text.append(decimal(digits, value));
}

// An object stream's content: the "number offset" pairs, then the objects, separated by one
// space so that adjacent numbers or keywords stay apart. The note is the length of the pairs,
// the stream's "First". Reads the objects only, so it may run on any thread while the body is
// written. An object holding a nested stream gives its error instead.
FlateInput object_stream_content(const Batch& batch) {
  std::string pairs;
  std::string objects;
  CountingSink sink(objects);
  for (const auto& [number, object] : batch) {
    if (!objects.empty()) objects.push_back(' ');
    append_decimal(pairs, number);
    pairs.push_back(' ');
    append_decimal(pairs, objects.size());
    pairs.push_back(' ');
    // Memory takes every byte: only a stream nested in the object fails, and the error then
    // names the object, as it would at top level.
    if (!serialize_object(sink, *object).ok()) {
      std::string scratch;
      CountingSink named(scratch);
      XrefRecord unused;
      Status status = serialize_indirect_object(named, number, 0, *object, unused);
      if (status.ok()) fatal_error("an object failed in an object stream but not on its own");
      return FlateInput{{}, 0, std::move(status).error()};
    }
  }
  const std::size_t size = pairs.size() + objects.size();
  ByteBuffer content{std::unique_ptr<char[]>(new char[size]), size};
  std::copy(pairs.begin(), pairs.end(), content.bytes.get());
  std::copy(objects.begin(), objects.end(), content.bytes.get() + pairs.size());
  return FlateInput{std::move(content), pairs.size(), std::nullopt};
}

}  // namespace

std::optional<ImageRows> image_rows(const Dictionary& dictionary, std::size_t data_size) {
  if (!is_name(dictionary.get("Subtype"), "Image")) return std::nullopt;
  const Object* bits = dictionary.get("BitsPerComponent");
  if (bits == nullptr || bits->integer() == nullptr || *bits->integer() != 8) return std::nullopt;
  const Object* mask = dictionary.get("ImageMask");
  if (mask != nullptr && mask->boolean() != nullptr && *mask->boolean()) return std::nullopt;
  const Object* space = dictionary.get("ColorSpace");
  std::int64_t colors = 0;
  if (is_name(space, "DeviceGray")) colors = 1;
  if (is_name(space, "DeviceRGB")) colors = 3;
  if (is_name(space, "DeviceCMYK")) colors = 4;
  const std::optional<std::int64_t> width = dimension(dictionary.get("Width"));
  const std::optional<std::int64_t> height = dimension(dictionary.get("Height"));
  if (colors == 0 || !width.has_value() || !height.has_value()) return std::nullopt;
  const auto row_bytes = static_cast<std::size_t>(*width * colors);
  if (row_bytes * static_cast<std::size_t>(*height) != data_size) return std::nullopt;
  return ImageRows{row_bytes, colors, *width};
}

namespace {

// The object streams after the body, under the numbers from `first_container` on, their counts
// and contents in order; then the cross-reference stream's number is the next one.
Status write_object_streams(Document& document, CountingSink& sink, XrefRecord& record,
                            std::uint32_t first_container, const std::vector<std::uint32_t>& counts,
                            std::vector<FlateQueue::Output>& contents) {
  // The first object that could not be packed, in the order of the table, fails the save.
  for (FlateQueue::Output& content : contents) {
    if (content.error.has_value()) return std::move(*content.error);
  }
  for (std::size_t k = 0; k < counts.size(); ++k) {
    const std::uint32_t number = reserve_id(document).number;
    if (number != first_container + k) fatal_error("an object stream did not get its number");
    Dictionary dictionary = Dictionary::from_pairs({
        {"Type", Name("ObjStm")},
        {"N", static_cast<std::int64_t>(counts[k])},
        {"First", static_cast<std::int64_t>(contents[k].note)},
        {"Length", static_cast<std::int64_t>(contents[k].data.size)},
    });
    if (contents[k].compressed) dictionary.set("Filter", Name("FlateDecode"));
    VANTRIL_TRY(write_stream_object(sink, number, 0, dictionary, contents[k].data.view(), record));
  }
  record.declared_size = document.highest_number + 1u;
  return {};
}

}  // namespace

Status write_compact_body(Document& document, CountingSink& sink, XrefRecord& record,
                          const SaveOptions& options) {
  const bool compress = options.compression_level > 0;
  std::optional<Compression> compression;
  if (compress) {
    compression.emplace(Compression{make_flate_compressor(options.compression_level),
                                    make_flate_compressor(1), options.png_predictor_for_images});
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
    if (const Object* entry = document.trailer.get("Encrypt")) {
      if (const ObjectId* reference = entry->reference()) encrypt = *reference;
    }
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
    // A null stays at top level too: mupdf takes a null read from an object stream for an
    // object missing from it, and a lone null packs into nothing worth having.
    if (options.object_streams && !is_stream && object.kind() != ObjectKind::Null &&
        id.generation == 0 && id != encrypt) {
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
      VANTRIL_TRY(write_stream(sink, id, object, *compression, record));
    } else {
      VANTRIL_TRY(serialize_indirect_object(sink, id.number, id.generation, object, record));
    }
  }
  if (!batch.empty()) close(true);
  if (counts.empty()) return {};

  if (queue.has_value()) contents = queue->finish();
  return write_object_streams(document, sink, record, first_container, counts, contents);
}

}  // namespace vantril
