// The one fixed document the command writes: an A4 page with a line of Helvetica text.
#pragma once

#include "vantril/model/document.hpp"

namespace vantril {

Document build_clean_document();

}  // namespace vantril
