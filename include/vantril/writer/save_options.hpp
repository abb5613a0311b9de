// How a save shapes the file: Flate compression of streams, PNG predictors for 8-bit images, and
// object streams. The defaults write every stream and object exactly as held.
#pragma once

#include <cstdint>

#include "vantril/detail/export.hpp"
#include "vantril/error.hpp"
#include "vantril/model/xref_slot.hpp"

namespace vantril {

// Options of save_to_path and write_document. They change only what is written: the document's
// streams and objects are read, never rewritten, so a document stays reusable after a compressed
// save (the trailer and highest_number still change as in every save).
struct SaveOptions {
  // 0 (the default) writes every stream as held. 1 (fastest) to 12 (smallest) compresses with
  // Flate at that level: every top-level stream marked compressible whose dictionary has no
  // "Filter", "DecodeParms" or "F" gets "/Filter/FlateDecode" and the compressed length, unless
  // compression would not make it smaller, in which case it stays raw; streams nested inside
  // other values stay as held. A cross-reference stream is compressed too, with the PNG Up
  // predictor on its rows. Needs libdeflate (see compression_available).
  int compression_level = 0;
  // With compression: image streams of 8 bits per component (Subtype Image, BitsPerComponent 8,
  // a DeviceGray, DeviceRGB or DeviceCMYK colour space, Width and Height matching the data) are
  // compressed after the PNG Up predictor, declared in "/DecodeParms". Ignored without
  // compression.
  bool png_predictor_for_images = false;
  // Packs every object that may live in an object stream (not a stream, generation 0, not the
  // trailer's "Encrypt" dictionary, and not a null, which some readers take for a missing
  // object there) into object streams of at most objects_per_stream objects,
  // listed as type-2 entries of the cross-reference stream. Needs the cross-reference stream
  // form; with compression the object streams are compressed as well.
  bool object_streams = false;
  // From 1 to 65535. Larger object streams compress better; smaller ones let a reader fetch one
  // object with less decompression.
  std::uint32_t objects_per_stream = 1000;
  // Runs check_document (vantril/check.hpp) before the first byte and refuses the save on the
  // first problem it finds, with InvalidInput and that problem's message; save_to_path then
  // creates no file. Off by default: the check reads every object, and a save without it is
  // the same as ever. The streaming writer holds no document to check and ignores it; its close
  // checks Root and references always.
  bool check_structure = false;
};

// Whether this build can compress (it was built with libdeflate). Without it, asking for
// compression fails with IoErrorKind::Unsupported. The Windows build has no libdeflate.
VANTRIL_API bool compression_available();

// Whether a save with these options can be made into a document of the given form, without
// writing anything: Unsupported when compression is asked for without libdeflate; InvalidInput
// for a compression level outside 0 to 12, object streams of an objects_per_stream outside 1 to
// 65535, or object streams with the table form, which cannot list them. Every save checks this
// before it creates its file.
VANTRIL_API Status check_save_options(const SaveOptions& options, XrefForm form);

}  // namespace vantril
