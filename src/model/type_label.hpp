// The label an object goes by: its "Type" name, or "Linearized" for a linearization
// dictionary. The writer leaves out objects that describe another file's layout by it, and the
// tests and fuzz targets compare documents by it.
#pragma once

#include <optional>
#include <string_view>

#include "vantril/model/object.hpp"

namespace vantril {

// The "Type" name as text when it is valid UTF-8; else "Linearized" when that key exists; else
// nothing (no type).
std::optional<std::string_view> type_label(const Dictionary& dictionary);

}  // namespace vantril
