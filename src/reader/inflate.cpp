// inflate_zlib over whichever backend the build has (src/reader/inflate/).
#include "reader/inflate.hpp"

namespace vantril {

Result<Bytes> inflate_zlib(std::string_view data, std::uint64_t max_size, bool* truncated) {
  Result<InflatedData> inflated = inflate_zlib_data(data, max_size, truncated);
  if (!inflated.ok()) return std::move(inflated).error();
  return Bytes(inflated.value().view());
}

}  // namespace vantril
