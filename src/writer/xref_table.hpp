// The classic cross-reference table's rows, one subsection at a time.
#pragma once

#include "vantril/error.hpp"
#include "vantril/writer/counting_sink.hpp"
#include "writer/xref_record.hpp"

namespace vantril {

// "<start> <count>\n" and one 20-byte row per slot of the run, read from the record; nothing
// for an empty run.
Status write_subsection(const XrefRecord& record, const XrefRun& run, CountingSink& sink);

}  // namespace vantril
