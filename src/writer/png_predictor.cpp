// The PNG Up predictor over whole rows.
#include "writer/png_predictor.hpp"

#include <cstring>

#include "runtime/fatal.hpp"

namespace vantril {

ByteBuffer png_up_rows(std::string_view data, std::size_t row_bytes) {
  if (row_bytes == 0 || data.size() % row_bytes != 0) {
    fatal_error("the PNG predictor was given data that is not whole rows");
  }
  const std::size_t rows = data.size() / row_bytes;
  ByteBuffer out{std::unique_ptr<char[]>(new char[rows * (row_bytes + 1)]), rows * (row_bytes + 1)};
  char* to = out.bytes.get();
  const auto* from = reinterpret_cast<const unsigned char*>(data.data());
  for (std::size_t row = 0; row < rows; ++row) {
    *to++ = 2;
    const unsigned char* current = from + row * row_bytes;
    if (row == 0) {
      std::memcpy(to, current, row_bytes);
    } else {
      const unsigned char* above = current - row_bytes;
      for (std::size_t i = 0; i < row_bytes; ++i) {
        to[i] = static_cast<char>(static_cast<unsigned char>(current[i] - above[i]));
      }
    }
    to += row_bytes;
  }
  return out;
}

}  // namespace vantril
