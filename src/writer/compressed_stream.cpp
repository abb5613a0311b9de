// Compressing a top-level stream where that pays.
#include "writer/compressed_stream.hpp"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <utility>

#include "writer/file_assembler.hpp"
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

// The Up predictor for an 8-bit image stream: the bytes of one row and the colours per sample.
struct ImageRows {
  std::size_t row_bytes;
  std::int64_t colors;
  std::int64_t columns;
};

// Nothing when the dictionary does not describe whole rows of `data_size` bytes.
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

bool may_compress(const Stream& stream) {
  const Dictionary& dictionary = stream.stream_dictionary;
  return stream.compressible && !stream.data.empty() && dictionary.get("Filter") == nullptr &&
         dictionary.get("DecodeParms") == nullptr && dictionary.get("F") == nullptr;
}

}  // namespace

Compression make_compression(const SaveOptions& options) {
  return Compression{make_flate_compressor(options.compression_level), make_flate_compressor(1),
                     options.png_predictor_for_images};
}

Status write_top_level_stream(Emitter& emitter, ObjectId id, const Object& object,
                              Compression& compression, XrefRecord& record) {
  const Stream& stream = *object.stream();
  std::optional<ImageRows> rows;
  ByteBuffer packed;
  if (may_compress(stream)) {
    if (compression.png_predictor) rows = image_rows(stream.stream_dictionary, stream.data.size());
    ByteBuffer predicted;
    std::string_view input = stream.data;
    if (rows.has_value()) {
      predicted = png_up_rows(input, rows->row_bytes);
      input = predicted.view();
    }
    if (worth_compressing(compression.probe, input)) {
      packed = deflate_if_smaller(compression.compressor, input);
    }
  }
  if (!packed.bytes) {
    return write_indirect_object(emitter, id.number, id.generation, object, record);
  }

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
  return write_stream_object(emitter, id.number, id.generation, dictionary, packed.view(), record,
                             ValueHolder::object(id));
}

}  // namespace vantril
