// Decoding the data of the file's layout streams (cross-reference streams and object streams)
// that the reader itself needs to read.
#pragma once

#include <cstdint>
#include <string_view>

#include "vantril/error.hpp"
#include "vantril/model/bytes.hpp"
#include "vantril/model/object.hpp"

namespace vantril::reader {

// The data through its filters (null for none), the decoded size bounded by `max_size`.
Result<Bytes> decode_layout_data(std::string_view data, const Object* filter,
                                 const Object* decode_parms, std::uint64_t max_size);

}  // namespace vantril::reader
