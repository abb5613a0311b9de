// Byte strings of the model: names, keys, string contents and stream data are bytes, not text.
#pragma once

#include <string>

namespace vantril {

// Any byte values, NUL included; std::string only for its storage and small-string optimisation.
using Bytes = std::string;

}  // namespace vantril
