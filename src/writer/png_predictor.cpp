// The PNG Up predictor over whole rows.
#include "writer/png_predictor.hpp"

#include <cstring>
#include <vector>

#include "runtime/fatal.hpp"

namespace vantril {

char* put_png_up_rows(char* to, std::string_view piece, std::size_t row_bytes,
                      unsigned char* above) {
  if (row_bytes == 0 || piece.size() % row_bytes != 0) {
    fatal_error("the PNG predictor was given data that is not whole rows");
  }
  const std::size_t rows = piece.size() / row_bytes;
  const auto* from = reinterpret_cast<const unsigned char*>(piece.data());
  for (std::size_t row = 0; row < rows; ++row) {
    *to++ = 2;
    const unsigned char* current = from + row * row_bytes;
    const unsigned char* previous = row == 0 ? above : current - row_bytes;
    for (std::size_t i = 0; i < row_bytes; ++i) {
      to[i] = static_cast<char>(static_cast<unsigned char>(current[i] - previous[i]));
    }
    to += row_bytes;
  }
  if (rows > 0) std::memcpy(above, from + (rows - 1) * row_bytes, row_bytes);
  return to;
}

ByteBuffer png_up_rows(std::string_view data, std::size_t row_bytes) {
  if (row_bytes == 0) fatal_error("the PNG predictor was given data that is not whole rows");
  const std::size_t size = data.size() / row_bytes * (row_bytes + 1);
  ByteBuffer out{std::unique_ptr<char[]>(new char[size]), size};
  // The first row is differenced against zeros, which copies it.
  std::vector<unsigned char> above(row_bytes, 0);
  put_png_up_rows(out.bytes.get(), data, row_bytes, above.data());
  return out;
}

}  // namespace vantril
