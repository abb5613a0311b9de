// A small Deflate decoder that keeps what a stream cut short decodes to, for the libdeflate
// build: libdeflate decodes whole streams only, and this decoder takes over when it refuses one.
#pragma once

#include <cstdint>
#include <string_view>

#include "reader/inflate.hpp"

namespace vantril {

// The raw Deflate `data` decoded as far as it goes. `cut_short` tells whether the data ended
// before the final block did (the output is then what the data held); InvalidData for corrupt
// data, and the limit as inflate_zlib keeps it.
Result<InflatedData> inflate_partial(std::string_view data, std::uint64_t max_size,
                                     bool* cut_short);

}  // namespace vantril
