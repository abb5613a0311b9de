// Decoding stream data through its filters: FlateDecode and LZWDecode (with the PNG and TIFF
// predictors of "/DecodeParms"), ASCIIHexDecode, ASCII85Decode, RunLengthDecode, and chains of
// them, with a limit on the decoded size. The image codecs (DCTDecode, JPXDecode, JBIG2Decode,
// CCITTFaxDecode) are left encoded: decoding reaches them and says so.
#pragma once

#include <cstdint>
#include <string_view>

#include "vantril/detail/export.hpp"
#include "vantril/error.hpp"
#include "vantril/model/bytes.hpp"
#include "vantril/model/object.hpp"

namespace vantril {

// The decoded size decode_stream allows by default (256 MiB).
inline constexpr std::uint64_t default_max_decoded_size = std::uint64_t{1} << 28;

// The stream's data decoded through its "/Filter" (a name or an array of names) with the
// matching "/DecodeParms" (a dictionary, null, or an array of them). Data without a filter
// comes back as it is. Errors:
//   - InvalidData for data a filter cannot decode (a corrupt Flate stream, a bad ASCII85 group)
//     or a "/Filter" or "/DecodeParms" of the wrong kind;
//   - InvalidData "the decoded data would exceed the limit" once the output would pass
//     `max_decoded_size`: nothing past the limit is produced;
//   - Unsupported for an image codec, naming it ("the DCTDecode filter is an image codec; its
//     data stays encoded"), for an unknown filter, for FlateDecode in a build without a
//     Flate library, and (decode_stream) for a stream whose data is in an external file ("/F").
// References in "/Filter" or "/DecodeParms" are not followed: resolve them first.
VANTRIL_API Result<Bytes> decode_stream(const Stream& stream,
                                        std::uint64_t max_decoded_size = default_max_decoded_size);

// The same over data and the filter and parameter values themselves (either may be null).
VANTRIL_API Result<Bytes> decode_data(std::string_view data, const Object* filter,
                                      const Object* decode_parms,
                                      std::uint64_t max_decoded_size = default_max_decoded_size);

// Whether this build can decode FlateDecode data.
VANTRIL_API bool flate_decoding_available();

}  // namespace vantril
