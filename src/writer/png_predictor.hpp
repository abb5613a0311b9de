// The PNG "Up" predictor: each row becomes a filter-type byte (2) and its bytes minus the bytes
// of the row above, which turns smooth images and cross-reference rows into runs Flate packs well.
#pragma once

#include <cstddef>
#include <string_view>

#include "writer/flate.hpp"

namespace vantril {

// `data` as rows of `row_bytes` bytes (its size a multiple of it, row_bytes > 0), each prefixed
// with the type byte 2 and differenced against the row above (the first against zeros).
ByteBuffer png_up_rows(std::string_view data, std::size_t row_bytes);

// The same for data that arrives in pieces of whole rows: writes the rows of `piece` at `to`
// and returns the end. `above` (row_bytes bytes) holds the last row of the previous piece, zeros
// before the first, and is left holding this piece's last row.
char* put_png_up_rows(char* to, std::string_view piece, std::size_t row_bytes,
                      unsigned char* above);

}  // namespace vantril
